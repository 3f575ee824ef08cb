#include "record/report/LogReportPreview.h"

#include "record/report/LogReportLayout.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QToolBar>

namespace velkor {

LogReportPreview::LogReportPreview(std::unique_ptr<LogReport> report, QWidget* parent)
    : QPrintPreviewDialog(parent), report_(std::move(report)) {
    namespace L = LogReportLayout;
    setWindowTitle(QStringLiteral("Data Report"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    printer()->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(L::kMargin, L::kMargin, L::kMargin, L::kMargin),
                                         QPageLayout::Millimeter));
    printer()->setCopyCount(1);
    printer()->setDocName(QStringLiteral("Data Report"));
    connect(this, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { report_->print(*printer); });

    preview_ = findChild<QPrintPreviewWidget*>();
    if (preview_) {
        preview_->fitToWidth();
    }
    if (QToolBar* bar = findChild<QToolBar*>()) {
        QAction* pdf = bar->addAction(QStringLiteral("PDF"));
        pdf->setObjectName(QStringLiteral("savePdf"));
        pdf->setToolTip(QStringLiteral("PDF ファイルに保存"));
        connect(pdf, &QAction::triggered, this, [this] { savePdf(); });
    }
    askPdfName_ = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("PDF ファイルに保存"),
                                            QStringLiteral("report.pdf"),
                                            QStringLiteral("PDF (*.pdf)"));
    };
    setWindowState(windowState() | Qt::WindowMaximized);
}

bool LogReportPreview::savePdf() {
    QString name = askPdfName_(this);
    if (name.isEmpty()) {
        return false;
    }
    if (QFileInfo(name).suffix().isEmpty()) {
        name += QStringLiteral(".pdf");
    }
    if (!report_->writePdf(name)) {
        QMessageBox::warning(this, QStringLiteral("VELKOR"),
                             QStringLiteral("%1に保存できませんでした。").arg(name));
        return false;
    }
    return true;
}

} // namespace velkor
