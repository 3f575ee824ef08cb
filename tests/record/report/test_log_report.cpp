// The printed report rendered to PDF and read back with poppler's pdfinfo,
// pdftotext, pdffonts and pdftoppm: pages, texts and where they stand, the
// fonts and the glyphs as printed.
#include "platform/posix/SystemErrorText.h"
#include "record/LogTestSupport.h"
#include "record/report/LogReport.h"
#include "record/report/LogReportLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <sys/stat.h>

using namespace velkor;
using namespace velkor::test;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pageText(const QString& pdf, int page) {
    return run(QStringLiteral("pdftotext"),
               {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                QString::number(page), pdf, QStringLiteral("-")});
}

// Words with their boxes in points.
struct Word {
    QString text;
    double x;
    double y;
    double xMax;
    double yMax;
};

std::vector<Word> pageWords(const QString& pdf, int page) {
    const QString html =
        run(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
             QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    static const QRegularExpression re(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                       "yMax=\"([0-9.]+)\">([^<]*)</word>"));
    std::vector<Word> words;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.push_back({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                         m.captured(3).toDouble(), m.captured(4).toDouble()});
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
                          QStringLiteral("%1.5").arg(i),
                          i % 2 ? QStringLiteral("V") : QStringLiteral("k*"),
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
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(
        QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)"))))
        << info.toStdString();

    for (int page = 1; page <= 3; ++page) {
        const QString text = pageText(pdf(), page);
        for (const char* s :
             {"Data Report", "No", "時間", "機能", "数値", "単位", "判定", "The Data Print Foot"}) {
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

// The ink of one glyph in a rendered word: the columns it spans and its
// top row in page pixels.
struct GlyphInk {
    int left;
    int right;
    int top;
};

// The glyphs of a word on a page rendered at `dpi`, left to right: runs of
// columns with dark pixels inside the word's box.
std::vector<GlyphInk> glyphsOf(const QImage& page, const Word& w, double dpi) {
    const double px = dpi / 72.0;
    const QRect box = QRectF(QPointF(w.x * px, w.y * px), QPointF(w.xMax * px, w.yMax * px))
                          .toAlignedRect()
                          .intersected(page.rect());
    std::vector<GlyphInk> glyphs;
    bool inGlyph = false;
    for (int x = box.left(); x <= box.right(); ++x) {
        int top = -1;
        for (int y = box.top(); y <= box.bottom() && top < 0; ++y) {
            if (qGray(page.pixel(x, y)) < 128) {
                top = y;
            }
        }
        if (top < 0) {
            inGlyph = false;
            continue;
        }
        if (!inGlyph) {
            glyphs.push_back({x, x, top});
            inGlyph = true;
        }
        glyphs.back().right = x;
        glyphs.back().top = std::min(glyphs.back().top, top);
    }
    return glyphs;
}

// Every text of the report is printed in a readable font: the units as
// written, no seven-segment font among the PDF's fonts, and on the page a
// lower-case "m" that stands lower than the capitals beside it (in the
// segment font "mV" printed like "ΠU", as tall as "MΩ").
TEST_F(LogReportPdf, TextsArePrintedInAReadableFont) {
    VectorLogTable table({rec(1, "09:05:03", "DC", "012.3", "mV", "pass"),
                          rec(2, "09:05:04", "OHM", "1.234", "M*", "Fail"),
                          rec(3, "09:05:05", "DC", "0.456", "uA", "pass"),
                          rec(4, "09:05:06", "TEMP", "25", "#", "pass"),
                          rec(5, "09:05:07", "AC", "1.5", "k*", "pass")});
    ASSERT_TRUE(LogReport(table).writePdf(pdf()));

    const QString text = pageText(pdf(), 1);
    for (const char* s : {"mV", "MΩ", "µA", "°C", "kΩ", "Fail", "pass", "OHM", "TEMP",
                          "Data Report", "The Data Print Foot"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;
    }

    const QString fonts = run(QStringLiteral("pdffonts"), {pdf()});
    EXPECT_FALSE(fonts.contains(QStringLiteral("DSEG"), Qt::CaseInsensitive))
        << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("DejaVuSans"))) << fonts.toStdString();

    const double dpi = 300;
    const QString png = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QStringLiteral("1"),
         QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"),
         QStringLiteral("-singlefile"), pdf(), png});
    const QImage page(png + QStringLiteral(".png"));
    ASSERT_FALSE(page.isNull());

    const auto words = pageWords(pdf(), 1);
    const Word* milli = find(words, QStringLiteral("mV"));
    const Word* mega = find(words, QStringLiteral("MΩ"));
    ASSERT_NE(milli, nullptr);
    ASSERT_NE(mega, nullptr);
    const auto mV = glyphsOf(page, *milli, dpi);
    const auto MOhm = glyphsOf(page, *mega, dpi);
    ASSERT_EQ(mV.size(), 2u);
    ASSERT_EQ(MOhm.size(), 2u);
    // A 10-point capital is about 30 pixels tall at 300 dpi; a lower-case
    // "m" stands about a quarter of that lower.
    EXPECT_GE(mV[0].top - mV[1].top, 5) << "m and V start at the same height";
    EXPECT_LE(std::abs(MOhm[0].top - MOhm[1].top), 2) << "M is no capital";
}

TEST_F(LogReportPdf, EmptyLogGivesNoReport) {
    VectorLogTable table;
    const LogReport report(table);
    EXPECT_EQ(report.pageCount(), 0);
    EXPECT_FALSE(report.writePdf(pdf()));
    EXPECT_FALSE(QFile::exists(pdf()));
}

// A report that cannot be written says why (the system's reason).
TEST_F(LogReportPdf, FailedWriteSaysWhy) {
    VectorLogTable table(rows(3));
    const LogFileResult missing =
        LogReport(table).writePdf(dir.filePath(QStringLiteral("none/r.pdf")));
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.reason.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none"))));
}

// A report is saved as the log's files are: a pipe in its place is refused
// and left alone, an old report's mode is kept and a link written through.
TEST_F(LogReportPdf, ReplacesOnlyARegularFileAndKeepsItsMode) {
    VectorLogTable table(rows(3));
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("pipe.pdf")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const LogFileResult refused = LogReport(table).writePdf(QFile::decodeName(fifo));
    EXPECT_EQ(refused.reason, notRegularFileText());
    struct stat st {};
    ASSERT_EQ(::stat(fifo.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    QFile old(pdf());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    const QString link = dir.filePath(QStringLiteral("latest.pdf"));
    ASSERT_TRUE(QFile::link(pdf(), link));
    ASSERT_TRUE(LogReport(table).writePdf(link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    ASSERT_EQ(::stat(QFile::encodeName(pdf()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_TRUE(pageText(pdf(), 1).contains(QStringLiteral("Data Report")));
}

TEST_F(LogReportPdf, LaysOutTheTableAsItWasWhenMade) {
    VectorLogTable table(rows(37));
    const LogReport report(table);
    table.appendRows(bufferOf(rows(10)));
    table.rows[0].Value = QStringLiteral("changed");
    EXPECT_EQ(report.pageCount(), 1);
    ASSERT_TRUE(report.writePdf(pdf()));
    EXPECT_FALSE(pageText(pdf(), 1).contains(QStringLiteral("changed")));
}

} // namespace
