// The report's preview window: its pages, saving a PDF, and how it opens:
// maximised over the screen and zoomed to the page width.
#include "record/LogTestSupport.h"
#include "record/report/LogReport.h"
#include "record/report/preview/LogReportPreview.h"
#include "support/EventPump.h"

#include <QApplication>
#include <QGraphicsView>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

using namespace velkor;
using namespace velkor::test;

namespace {

std::vector<LogRecord> rows(int n) {
    std::vector<LogRecord> out;
    for (int i = 1; i <= n; ++i) {
        out.push_back(rec(i, "09:05:03", "DC", QStringLiteral("%1.5").arg(i), "mV", "pass"));
    }
    return out;
}

QString pdfInfo(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(p.waitForFinished(60000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(LogReportPreviewPages, ShowsThePagesAndSavesThemAsPdf) {
    QTemporaryDir dir;
    VectorLogTable table(rows(100));
    auto* preview = new LogReportPreview(std::make_unique<LogReport>(table));
    QPointer<LogReportPreview> alive(preview);
    EXPECT_FALSE(preview->isModal());
    preview->show();
    QApplication::processEvents();
    ASSERT_NE(preview->previewWidget(), nullptr);
    preview->previewWidget()->updatePreview();
    EXPECT_EQ(preview->previewWidget()->pageCount(), 3);

    preview->setPdfFileNameAsker(
        [&dir](QWidget*) { return dir.filePath(QStringLiteral("saved")); });
    ASSERT_TRUE(preview->savePdf());
    const QString info = pdfInfo(dir.filePath(QStringLiteral("saved.pdf")));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))))
        << info.toStdString();

    preview->setPdfFileNameAsker([](QWidget*) { return QString(); });
    EXPECT_FALSE(preview->savePdf());

    preview->close(); // deletes itself
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

// Maximised over the screen's free area and zoomed so that the page fills
// the width of the view, also where no window manager maximises it.
TEST(LogReportPreviewWindow, OpensMaximisedAndZoomedToThePageWidth) {
    VectorLogTable table(rows(10));
    auto* preview = new LogReportPreview(std::make_unique<LogReport>(table));
    preview->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
    const QRect free = preview->screen()->availableGeometry();
    EXPECT_TRUE(pumpUntil([&] {
        return preview->width() >= free.width() * 9 / 10 &&
               preview->height() >= free.height() * 9 / 10;
    })) << preview->width()
        << "x" << preview->height() << " on " << free.width() << "x" << free.height();
    EXPECT_TRUE(preview->windowState() & Qt::WindowMaximized);

    QPrintPreviewWidget* pages = preview->previewWidget();
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->zoomMode(), QPrintPreviewWidget::FitToWidth);
    auto* view = pages->findChild<QGraphicsView*>();
    ASSERT_NE(view, nullptr);
    // The page's width on screen: the zoom factor is relative to the
    // page's real size at the screen's resolution.
    const auto pageWidth = [&] {
        return pages->zoomFactor() * pages->logicalDpiX() * 210.0 / 25.4;
    };
    const auto fitsWidth = [&] {
        const int viewWidth = view->viewport()->width();
        return pageWidth() > viewWidth * 0.85 && pageWidth() <= viewWidth;
    };
    EXPECT_TRUE(pumpUntil(fitsWidth))
        << pageWidth() << " of " << view->viewport()->width() << " pixels";
    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
