#pragma once

#include "record/report/LogReport.h"

#include <QPrintPreviewDialog>
#include <functional>
#include <memory>

class QPrintPreviewWidget;

namespace velkor {

// The report's preview window: the pages of a report laid out over a copy
// of the log, shown maximised and zoomed to the page width. From it the
// user prints on any printer (the print dialog also prints to a PDF file)
// or saves the report as a PDF file directly. It is not modal: the main
// window goes on working while it is open.
class LogReportPreview : public QPrintPreviewDialog {
    Q_OBJECT
public:
    // Asks for the PDF file name; empty when the user cancels. Tests put a
    // script in; the window asks with a file dialog.
    using PdfFileNameAsker = std::function<QString(QWidget* parent)>;

    LogReportPreview(std::unique_ptr<LogReport> report, QWidget* parent = nullptr);

    const LogReport& report() const { return *report_; }
    QPrintPreviewWidget* previewWidget() const { return preview_; }
    void setPdfFileNameAsker(PdfFileNameAsker asker) { askPdfName_ = std::move(asker); }

    // Asks for a file name and writes the report there as PDF. False when
    // cancelled or when the file cannot be written (told in a box).
    bool savePdf();

private:
    std::unique_ptr<LogReport> report_;
    QPrintPreviewWidget* preview_ = nullptr;
    PdfFileNameAsker askPdfName_;
};

} // namespace velkor
