#include "record/report/LogReport.h"

#include "disk/AtomicFile.h"
#include "meter/DisplaySymbols.h"
#include "record/report/LogReportLayout.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace velkor {

namespace L = LogReportLayout;

namespace {

QFont reportFont(const QStringList& families) {
    QFont f;
    f.setFamilies(families);
    f.setPointSizeF(10);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// Left-aligned text at a position in millimetres, at its natural width.
void text(QPainter& p, double dotsPerMm, double left, double top, const QString& s) {
    p.drawText(QRectF(left * dotsPerMm, top * dotsPerMm, 0, 0),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, s);
}

} // namespace

LogReport::LogReport(const LogTable& table) {
    rows_.appendAll(table.store());
}

qsizetype LogReport::pageCount() const {
    return L::pageCount(rows_.rowCount());
}

// The seven-segment display font would print "V" as "U" and "m" like "M":
// the report's texts use the readable font of the unit symbols instead.
QFont LogReport::defaultFont() {
    return reportFont(unitSymbolFontFamilies());
}

QFont LogReport::arialFont() {
    return reportFont({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                       QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK JP")});
}

QFont LogReport::calibriFont() {
    return reportFont({QStringLiteral("Carlito"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK JP")});
}

void LogReport::paintPage(QPainter& p, qsizetype page, double mm) const {
    static const QString titles[6] = {QStringLiteral("No"),   QStringLiteral("時間"),
                                      QStringLiteral("機能"), QStringLiteral("数値"),
                                      QStringLiteral("単位"), QStringLiteral("判定")};
    const QFont readable = defaultFont();
    const QFont arial = arialFont();
    const QFont calibri = calibriFont();
    p.setPen(Qt::black);

    // Page header: the title centred on the band.
    p.setFont(readable);
    const double boxLeft = (L::kBandWidth - L::kTitleBoxWidth) / 2;
    p.drawText(QRectF(boxLeft * mm, L::kTitleTop * mm, L::kTitleBoxWidth * mm,
                      (L::kPageHeaderHeight - L::kTitleTop) * mm),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
               QStringLiteral("Data Report"));

    // Column header.
    for (int c = 0; c < 6; ++c) {
        text(p, mm, L::kColumnTitleLeft[c], L::kPageHeaderHeight + L::kColumnTitleTop, titles[c]);
    }

    // Detail lines.
    const qsizetype first = L::firstRowOfPage(page);
    const qsizetype last = std::min(rows_.rowCount(), first + L::rowsPerPage());
    for (qsizetype r = first; r < last; ++r) {
        const double top =
            L::kFirstDetailTop + static_cast<double>(r - first) * L::kDetailHeight + L::kDetailTop;
        const auto no = rows_.no(r);
        p.setFont(arial);
        text(p, mm, L::kDetailLeft[0], top, no ? QString::number(*no) : QString());
        text(p, mm, L::kDetailLeft[1], top, rows_.text(r, 1));
        p.setFont(readable);
        text(p, mm, L::kDetailLeft[2], top, rows_.text(r, 2));
        p.setFont(calibri);
        text(p, mm, L::kDetailLeft[3], top, rows_.text(r, 3));
        p.setFont(readable);
        text(p, mm, L::kDetailLeft[4], top, unitDisplayText(rows_.text(r, 4)));
        text(p, mm, L::kDetailLeft[5], top, rows_.text(r, 5));
    }

    // Page footer, at the foot of every page.
    p.setFont(readable);
    text(p, mm, L::kFooterLeft, L::kFooterBandTop + L::kFooterTop,
         QStringLiteral("The Data Print Foot"));
}

bool LogReport::print(QPagedPaintDevice& device) const {
    if (isEmpty()) {
        return false;
    }
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(L::kMargin, L::kMargin, L::kMargin, L::kMargin),
                                     QPageLayout::Millimeter));
    QPainter p;
    if (!p.begin(&device)) {
        return false;
    }
    const double mm = device.logicalDpiX() / 25.4;
    for (qsizetype page = 0; page < pageCount(); ++page) {
        if (page > 0 && !device.newPage()) {
            p.end();
            return false;
        }
        paintPage(p, page, mm);
    }
    return p.end();
}

LogFileResult LogReport::writePdf(const QString& fileName) const {
    if (isEmpty()) {
        return LogFileResult::failure(QStringLiteral("ログにデータがありません"));
    }
    // Saved as the log's files are: a failed report leaves a file of the
    // same name as it was, and a pipe or a device in its place is refused.
    return writeFileAtomically(fileName, [this](QIODevice& out) {
        QPdfWriter pdf(&out);
        pdf.setTitle(QStringLiteral("Data Report"));
        pdf.setCreator(QStringLiteral("VELKOR"));
        return print(pdf) ? LogFileResult::success()
                          : LogFileResult::failure(QStringLiteral("PDF を描けませんでした"));
    });
}

} // namespace velkor
