// The window shows what the frames leave at display rate: a frame after a
// quiet spell at once, frames in quick succession together at most every
// 40 ms, nothing painted while a frame is handled; and every frame is still
// judged, logged and charted as it comes.

#include "app/WindowTestSupport.h"
#include "chart/view/TrendChartView.h"
#include "pipeline/MeterSession.h"

#include <QAreaSeries>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPaintEvent>
#include <QProgressBar>
#include <QTableView>
#include <QThread>
#include <gtest/gtest.h>

using namespace velkor;
using velkor::test::WindowFixture;

namespace {

using namespace status1;

MeterFrame dcVolts(const char* display) {
    return meterFrame(display, {Auto | DC, 0, 0, status4::Volt});
}

QString panelDigits(const WindowFixture& f) {
    QString s;
    for (const char* name : {"LcdDa", "LcdDb", "LcdDc", "LcdDd"}) {
        s += f.child<QLabel>(name)->text();
    }
    return s;
}

// Sends a frame right after the one before (the fixed clock stands still).
void sendQuickly(WindowFixture& f, const MeterFrame& frame) {
    const auto b = frame.bytes();
    f.window->RECEIVE_COM_Data(b.data(), static_cast<std::ptrdiff_t>(b.size()));
}

template <class Done> bool pumpUntil(Done done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

// Counts the paint events the window's widgets get.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(o, e);
    }
};

TEST(WindowDisplay, FramesInQuickSuccessionAreShownTogetherAtDisplayRate) {
    WindowFixture f;
    auto* grid = f.child<QTableView>("DBGrid1");
    f.send(dcVolts("1.111")); // after a quiet spell: shown at once
    EXPECT_FALSE(f.window->displayPending());
    EXPECT_EQ(panelDigits(f), QStringLiteral("1111"));
    EXPECT_EQ(f.child<QLineEdit>("T1VALUE")->text(), QStringLiteral("1.111"));

    sendQuickly(f, dcVolts("2.222"));
    sendQuickly(f, dcVolts("-3.333"));
    // Judged, logged and charted as they came ...
    EXPECT_EQ(f.window->session().cds1.rowCount(), 3);
    EXPECT_EQ(f.window->session().limits.panel.T1VALUE, QStringLiteral("-3.333"));
    EXPECT_EQ(f.window->Chtshow->model().pointCount(), 4); // and the sample point
    // ... shown a moment later, all at once, as the last frame left them.
    EXPECT_TRUE(f.window->displayPending());
    EXPECT_EQ(panelDigits(f), QStringLiteral("1111"));
    EXPECT_EQ(grid->currentIndex().row(), 0);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(pumpUntil([&] { return !f.window->displayPending(); }));
    EXPECT_GE(t.elapsed(), 20); // the rest of the 40 ms (the timer may fire a little early)
    EXPECT_EQ(panelDigits(f), QStringLiteral("3333"));
    EXPECT_FALSE(f.child("LcdFH")->isHidden());
    EXPECT_EQ(f.child<QLineEdit>("T1VALUE")->text(), QStringLiteral("-3.333"));
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_EQ(f.window->Chtshow->Series2()->upperSeries()->count(), 3);
    EXPECT_EQ(f.child<QProgressBar>("PBar2")->value(), 3);
}

TEST(WindowDisplay, AFrameAfterAQuietSpellIsShownAtOnce) {
    WindowFixture f;
    f.send(dcVolts("1.111"));
    f.clock.advanceMonotonicMs(10);
    sendQuickly(f, dcVolts("2.222"));
    EXPECT_TRUE(f.window->displayPending());
    ASSERT_TRUE(pumpUntil([&] { return !f.window->displayPending(); }));
    // 40 ms after the last showing the next frame no longer waits.
    f.clock.advanceMonotonicMs(40);
    sendQuickly(f, dcVolts("4.444"));
    EXPECT_FALSE(f.window->displayPending());
    EXPECT_EQ(panelDigits(f), QStringLiteral("4444"));
}

TEST(WindowDisplay, NothingIsPaintedWhileAFrameIsHandled) {
    WindowFixture f;
    PaintCounter counter;
    QApplication::instance()->installEventFilter(&counter);
    // Values far apart move the bar (a progress bar repaints itself at once
    // on a new value unless kept from it) and the ranges change the axis.
    const MeterFrame frames[] = {dcVolts("0.001"), dcVolts("5.999"),
                                 meterFrame("599.9", {Auto | DC, 0, 0, status4::Volt}),
                                 dcVolts("-5.999")};
    for (int round = 0; round < 3; ++round) {
        for (const MeterFrame& fr : frames) {
            f.send(fr); // shown at once
            sendQuickly(f, fr);
        }
        EXPECT_EQ(counter.paints, 0);
        // The paints come from the event loop.
        ASSERT_TRUE(pumpUntil([&] { return !f.window->displayPending() && counter.paints > 0; }));
        counter.paints = 0;
    }
    QApplication::instance()->removeEventFilter(&counter);
}

TEST(WindowDisplay, AFailingFrameShowsItsBoxOverADisplayBroughtUpToDate) {
    WindowFixture f;
    f.send(dcVolts("1.111"));
    sendQuickly(f, dcVolts("2.222"));
    EXPECT_TRUE(f.window->displayPending());
    MeterFrame bad = dcVolts("3.333");
    bad.digits[3] = ':';
    sendQuickly(f, bad);
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_FALSE(f.window->displayPending());
    EXPECT_EQ(panelDigits(f), QStringLiteral("2222"));
}

} // namespace
