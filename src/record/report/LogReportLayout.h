#pragma once

#include <QtGlobal>

namespace velkor {

// The banded report QuickRep1 over the log, as positions in millimetres: an
// A4 portrait page with 10 mm margins; on every page a page header band
// ("Data Report"), a column header band, as many detail bands (one per log
// row) as fit above the page footer band ("The Data Print Foot"), which
// sits at the foot of the page. Element positions are from their band's
// left and top edges.
namespace LogReportLayout {

inline constexpr double kPageWidth = 210.0;
inline constexpr double kPageHeight = 297.0;
inline constexpr double kMargin = 10.0;
inline constexpr double kBandWidth = 189.97;

inline constexpr double kPageHeaderHeight = 10.58;   // PageHeaderBand1
inline constexpr double kColumnHeaderHeight = 10.58; // ColumnHeaderBand1
inline constexpr double kDetailHeight = 6.61;        // DetailBand1
inline constexpr double kPageFooterHeight = 10.58;   // PageFooterBand1

// QRLabel1: "Data Report", centred on the band in a 35.45 mm box.
inline constexpr double kTitleTop = 2.12;
inline constexpr double kTitleBoxWidth = 35.45;
// QRLabel2-7: column titles.
inline constexpr double kColumnTitleTop = 4.23;
inline constexpr double kColumnTitleLeft[6] = {8.47, 33.87, 64.29, 99.48, 132.29, 162.98};
// QRDBText1-6: No, Time, DC/AC, Value, Unit, Auto.
inline constexpr double kDetailTop = 2.12;
inline constexpr double kDetailLeft[6] = {8.47, 33.87, 65.62, 99.48, 131.23, 162.98};
// QRLabel8: "The Data Print Foot".
inline constexpr double kFooterLeft = 8.47;
inline constexpr double kFooterTop = 4.23;

inline constexpr double kPrintableHeight = kPageHeight - 2 * kMargin;
// Top of the first detail band, and the footer band's top, from the top
// margin.
inline constexpr double kFirstDetailTop = kPageHeaderHeight + kColumnHeaderHeight;
inline constexpr double kFooterBandTop = kPrintableHeight - kPageFooterHeight;

// Detail lines on a page: a line goes on a new page when it does not fit
// above the page footer.
constexpr int rowsPerPage() {
    int n = 0;
    while (kFirstDetailTop + (n + 1) * kDetailHeight <= kFooterBandTop + 1e-9) {
        ++n;
    }
    return n;
}

// Pages for a log of `rows` rows; an empty log gives no report.
constexpr qsizetype pageCount(qsizetype rows) {
    return rows <= 0 ? 0 : (rows + rowsPerPage() - 1) / rowsPerPage();
}

constexpr qsizetype firstRowOfPage(qsizetype page) {
    return page * rowsPerPage();
}

} // namespace LogReportLayout

} // namespace velkor
