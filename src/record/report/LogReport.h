#pragma once

#include "disk/LogFileResult.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"

#include <QFont>
#include <QString>

class QPagedPaintDevice;
class QPainter;

namespace velkor {

// The printed log: the report laid out over a copy of the table taken when
// it is made, so that rows logged meanwhile do not disturb it. Drawn on any
// paged device (a printer, the preview, a PDF writer) in A4 portrait with
// 10 mm margins.
class LogReport {
public:
    explicit LogReport(const LogTable& table);

    // No pages for an empty log: there is nothing to print.
    qsizetype pageCount() const;
    bool isEmpty() const { return rows_.rowCount() == 0; }
    qsizetype rowCount() const { return rows_.rowCount(); }

    // Sets the device to A4 portrait with 10 mm margins and draws every
    // page. False (and nothing drawn) for an empty log or a device that
    // cannot be painted on.
    bool print(QPagedPaintDevice& device) const;
    // Writes the report as a PDF file, replacing a file of that name only
    // when the report is complete. Fails with the reason for an empty log
    // or when the file cannot be written.
    LogFileResult writePdf(const QString& fileName) const;

    // Draws one page (0-based) with the painter's origin at the top margin
    // and left margin, `dotsPerMm` device pixels to the millimetre.
    void paintPage(QPainter& painter, qsizetype page, double dotsPerMm) const;

    // The report's fonts at 10 points: the default font of its texts (the
    // font in which the panel and the grid draw the unit symbols), and the
    // stand-ins for Arial and Calibri.
    static QFont defaultFont();
    static QFont arialFont();
    static QFont calibriFont();

private:
    LogRowBuffer rows_;
};

} // namespace velkor
