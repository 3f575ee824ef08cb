// The printed report rendered to PDF and read back with poppler's pdfinfo
// and pdftotext: pages, texts and where they stand.
#include "record/LogTestSupport.h"
#include "record/report/LogReportLayout.h"
#include "record/report/LogReport.h"
#include "record/report/LogReportPreview.h"

#include <QApplication>
#include <QPrintPreviewWidget>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>

using namespace velkor;
using namespace velkor::test;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pageText(const QString& pdf, int page) {
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page),
                                             QStringLiteral("-l"), QString::number(page), pdf,
                                             QStringLiteral("-")});
}

// Words with their boxes in points: "word xMin yMin".
struct Word {
    QString text;
    double x;
    double y;
};

std::vector<Word> pageWords(const QString& pdf, int page) {
    const QString html = run(QStringLiteral("pdftotext"),
                             {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                              QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    static const QRegularExpression re(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    std::vector<Word> words;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.push_back({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

const Word* find(const std::vector<Word>& words, const QString& text) {
    for (const Word& w : words) {
        if (w.text == text) {
            return &w;
        }
    }
    return nullptr;
}

constexpr double kPt = 72.0 / 25.4; // points per millimetre

std::vector<LogRecord> rows(int n) {
    std::vector<LogRecord> out;
    for (int i = 1; i <= n; ++i) {
        out.push_back(rec(i, QStringLiteral("09:%1:00").arg(i % 60, 2, 10, QChar(u'0')),
                          i % 2 ? QStringLiteral("DC") : QStringLiteral("OHM"),
                          QStringLiteral("%1.5").arg(i), i % 2 ? QStringLiteral("V") : QStringLiteral("k*"),
                          i % 3 ? QStringLiteral("pass") : QStringLiteral("Fail")));
    }
    return out;
}

TEST(LogReportLayout, DetailLinesPerPageAndPages) {
    EXPECT_EQ(LogReportLayout::rowsPerPage(), 37);
    const std::pair<qsizetype, qsizetype> cases[] = {{0, 0}, {1, 1}, {37, 1}, {38, 2}, {100, 3}};
    for (const auto& [rowCount, pages] : cases) {
        EXPECT_EQ(LogReportLayout::pageCount(rowCount), pages) << rowCount;
    }
}

class LogReportPdf : public ::testing::Test {
protected:
    QString pdf() const { return dir.filePath(QStringLiteral("report.pdf")); }
    QTemporaryDir dir;
};

TEST_F(LogReportPdf, HundredRowsOnThreeA4PagesWithBandsOnEveryPage) {
    VectorLogTable table(rows(100));
    const LogReport report(table);
    ASSERT_TRUE(report.writePdf(pdf()));

    const QString info = run(QStringLiteral("pdfinfo"), {pdf()});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n")))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)"))))
        << info.toStdString();

    for (int page = 1; page <= 3; ++page) {
        const QString text = pageText(pdf(), page);
        for (const char* s : {"Data Report", "No", "時間", "機能", "数値", "単位", "判定",
                              "The Data Print Foot"}) {
            EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << "page " << page << ": " << s;
        }
    }
    const QString first = pageText(pdf(), 1);
    const QString last = pageText(pdf(), 3);
    for (const char* s : {"09:01:00", "1.5", "37.5", "kΩ", "Fail"}) {
        EXPECT_TRUE(first.contains(QString::fromUtf8(s))) << s;
    }
    EXPECT_FALSE(first.contains(QStringLiteral("38.5")));
    EXPECT_TRUE(pageText(pdf(), 2).contains(QStringLiteral("38.5")));
    for (const char* s : {"75.5", "100.5", "09:40:00"}) {
        EXPECT_TRUE(last.contains(QString::fromUtf8(s))) << s;
    }
    EXPECT_FALSE(last.contains(QStringLiteral("74.5")));
}

TEST_F(LogReportPdf, TextsStandAtTheirPlaces) {
    VectorLogTable table({rec(1234, "09:05:03", "DC", "012.3", "#", "pass")});
    ASSERT_TRUE(LogReport(table).writePdf(pdf()));
    const auto words = pageWords(pdf(), 1);
    namespace L = LogReportLayout;
    const double detailTop = L::kMargin + L::kFirstDetailTop + L::kDetailTop;
    const struct {
        const char* text;
        double left;
        double top;
    } expected[] = {
        {"No", L::kColumnTitleLeft[0], L::kPageHeaderHeight + L::kColumnTitleTop},
        {"判定", L::kColumnTitleLeft[5], L::kPageHeaderHeight + L::kColumnTitleTop},
        {"1234", L::kDetailLeft[0], 0},
        {"09:05:03", L::kDetailLeft[1], 0},
        {"DC", L::kDetailLeft[2], 0},
        {"012.3", L::kDetailLeft[3], 0},
        {"°C", L::kDetailLeft[4], 0},
        {"pass", L::kDetailLeft[5], 0},
        {"Foot", -1, L::kFooterBandTop + L::kFooterTop},
    };
    for (const auto& e : expected) {
        const Word* w = find(words, QString::fromUtf8(e.text));
        ASSERT_NE(w, nullptr) << e.text;
        if (e.left >= 0) {
            EXPECT_NEAR(w->x, (L::kMargin + e.left) * kPt, 1.5) << e.text;
        }
        const double top = e.top > 0 ? L::kMargin + e.top : detailTop;
        // The word's box starts a little below the text line's top.
        EXPECT_NEAR(w->y, top * kPt, 4.0) << e.text;
    }
    const Word* title = find(words, QStringLiteral("Data"));
    ASSERT_NE(title, nullptr);
    EXPECT_LT(title->x, 105 * kPt);
    EXPECT_GT(title->x, 80 * kPt);
}

TEST_F(LogReportPdf, EmptyLogGivesNoReport) {
    VectorLogTable table;
    const LogReport report(table);
    EXPECT_EQ(report.pageCount(), 0);
    EXPECT_FALSE(report.writePdf(pdf()));
}

TEST_F(LogReportPdf, LaysOutTheTableAsItWasWhenMade) {
    VectorLogTable table(rows(37));
    const LogReport report(table);
    table.appendRows(rows(10));
    table.rows[0].Value = QStringLiteral("changed");
    EXPECT_EQ(report.pageCount(), 1);
    ASSERT_TRUE(report.writePdf(pdf()));
    EXPECT_FALSE(pageText(pdf(), 1).contains(QStringLiteral("changed")));
}

TEST_F(LogReportPdf, PreviewShowsThePagesAndSavesThemAsPdf) {
    VectorLogTable table(rows(100));
    auto* preview = new LogReportPreview(std::make_unique<LogReport>(table));
    QPointer<LogReportPreview> alive(preview);
    EXPECT_FALSE(preview->isModal());
    preview->show();
    QApplication::processEvents();
    ASSERT_NE(preview->previewWidget(), nullptr);
    preview->previewWidget()->updatePreview();
    EXPECT_EQ(preview->previewWidget()->pageCount(), 3);

    preview->setPdfFileNameAsker([this](QWidget*) { return dir.filePath(QStringLiteral("saved")); });
    ASSERT_TRUE(preview->savePdf());
    const QString info = run(QStringLiteral("pdfinfo"), {dir.filePath(QStringLiteral("saved.pdf"))});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n")))) << info.toStdString();

    preview->setPdfFileNameAsker([](QWidget*) { return QString(); });
    EXPECT_FALSE(preview->savePdf());

    preview->close(); // deletes itself
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

} // namespace
