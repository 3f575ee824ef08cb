#include "record/report/preview/LogReportPreview.h"

#include "record/report/LogReportLayout.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
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
    // A window of its own that may be maximised (a dialog may not be, under
    // some window managers), maximised over the screen's free area. The
    // area is also its geometry: without a window manager to maximise it,
    // X11 would show it at its size hint.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        setGeometry(screen->availableGeometry());
    }
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
    if (const LogFileResult r = report_->writePdf(name); !r) {
        QMessageBox::warning(this, QStringLiteral("VELKOR"),
                             QStringLiteral("%1に保存できませんでした。").arg(name) +
                                 QLatin1Char('\n') + r.reason);
        return false;
    }
    return true;
}

} // namespace velkor
