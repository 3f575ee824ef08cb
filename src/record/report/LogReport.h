#pragma once

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
    // Writes the report as a PDF file. False for an empty log or when the
    // file cannot be written.
    bool writePdf(const QString& fileName) const;

    // Draws one page (0-based) with the painter's origin at the top margin
    // and left margin, `dotsPerMm` device pixels to the millimetre.
    void paintPage(QPainter& painter, qsizetype page, double dotsPerMm) const;

    // The report's fonts at 10 points: the display font (the meter panel's
    // font, with fallbacks for the letters and symbols it lacks), and the
    // stand-ins for Arial and Calibri.
    static QFont displayFont();
    static QFont arialFont();
    static QFont calibriFont();

private:
    LogRowBuffer rows_;
};

} // namespace velkor
