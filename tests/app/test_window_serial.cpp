// The serial link in the window: the simulated meter on a pseudo-terminal,
// the port panels, COMCon, the meter display and the link mark following the
// frames, ConTimer, and the messages for a port that does not open or goes.

#include "app/WindowTestSupport.h"
#include "app/PanelButton.h"
#include "pipeline/MeterPipeline.h"
#include "link/serial/TCommPortDriver.h"
#include "platform/posix/SystemErrorText.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>

using namespace velkor;
using velkor::test::WindowFixture;

namespace {

// Turns the event loop until done() or the deadline.
template <class Done> bool pumpUntil(Done done, int timeoutMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(200);
    }
    return true;
}

class SerialWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        meterLink = dir.filePath(QStringLiteral("meter"));
        qputenv("VELKOR_COM1", meterLink.toLocal8Bit());
        f = std::make_unique<WindowFixture>();
    }
    void TearDown() override {
        f.reset();
        if (sim.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(sim.processId()), SIGCONT);
            sim.terminate();
            sim.waitForFinished(5000);
        }
        qunsetenv("VELKOR_COM1");
    }

    // Starts the simulated meter at meterLink.
    void startMeter(const char* rate) {
        sim.start(QStringLiteral(VELKOR_METERSIM),
                  {QStringLiteral("--rate"), QString::fromLatin1(rate), QStringLiteral("--link"), meterLink});
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(pumpUntil([&] { return sim.canReadLine(); }, 5000));
    }

    QPushButton* button(const char* name) const { return f->child<QPushButton>(name); }
    bool markShown() const { return f->child("CONok")->isVisible() && !f->child("CONokN")->isVisible(); }
    QString panelDigits() const {
        QString s;
        for (const char* name : {"LcdDa", "LcdDb", "LcdDc", "LcdDd"}) {
            s += f->child<QLabel>(name)->text();
        }
        return s;
    }
    long long frames() const { return f->window->pipeline().framesOffered(); }

    QTemporaryDir dir;
    QString meterLink;
    QProcess sim;
    std::unique_ptr<WindowFixture> f;
};

TEST_F(SerialWindow, PortPanelsCycleWithTheDevicePathAsTooltip) {
    EXPECT_EQ(f->child("BtCOM1")->toolTip(), meterLink);
    const char* visibleAfter[] = {"BtCOM2", "BtCOM3", "BtCOM4", "BtCOM1"};
    for (const char* expected : visibleAfter) {
        PanelButton* shown = nullptr;
        for (const char* name : {"BtCOM1", "BtCOM2", "BtCOM3", "BtCOM4"}) {
            if (f->child(name)->isVisible()) {
                shown = f->child<PanelButton>(name);
            }
        }
        ASSERT_NE(shown, nullptr);
        QTest::mouseClick(shown, Qt::LeftButton);
        EXPECT_TRUE(f->child(expected)->isVisible()) << expected;
    }
    EXPECT_EQ(f->window->COMM2->ComPort(), pnCOM1);
}

TEST_F(SerialWindow, LiveReadingsFollowTheMeterAndTheMarkGoesOffAfterTheFramesStop) {
    startMeter("20");
    EXPECT_EQ(f->window->COMM2->ComPortSpeed(), br2400);
    QTest::mouseClick(button("COMCon"), Qt::LeftButton);
    ASSERT_TRUE(f->window->COMM2->Connected()) << f->boxes.shown.size();
    EXPECT_TRUE(button("COMCon")->isChecked());
    EXPECT_FALSE(button("USBCon")->isVisible());
    EXPECT_FALSE(f->child("BtCOM1")->isEnabled());

    // The display and the mark follow the frames (the display at display
    // rate: within 40 ms of the frame).
    ASSERT_TRUE(pumpUntil([&] { return frames() >= 10 && !f->window->displayPending(); }));
    EXPECT_TRUE(markShown());
    const Reading& r = f->window->pipeline().decoder().reading;
    QString digits = r.ValueText;
    digits.remove(QLatin1Char('.')).remove(QLatin1Char('-'));
    if (!digits.contains(QLatin1Char('L'))) {
        EXPECT_EQ(panelDigits(), digits);
    }

    // The meter stops sending: the mark goes off on the third ConTimer tick
    // after the last frame, that is 200 to 300 ms after it. Counted in ticks
    // (each tick is observed right after the window's own handler), since a
    // wall clock read between events would see the frame late.
    QTimer* conTimer = f->window->ConTimer;
    EXPECT_EQ(conTimer->interval(), 100);
    // Start from the ticks the window has already counted since the last frame.
    long long lastFrames = frames();
    int ticksSinceFrame = f->window->linkCounters.LinkIdleTicks;
    int ticksWhenOff = -1;
    const auto tick = QObject::connect(conTimer, &QTimer::timeout, conTimer, [&] {
        const long long now = frames();
        ticksSinceFrame = now == lastFrames ? ticksSinceFrame + 1 : 1;
        lastFrames = now;
        if (!markShown() && ticksWhenOff < 0) {
            ticksWhenOff = ticksSinceFrame;
        }
    });
    ::kill(static_cast<pid_t>(sim.processId()), SIGSTOP);
    ASSERT_TRUE(pumpUntil([&] { return ticksWhenOff >= 0; }));
    QObject::disconnect(tick);
    EXPECT_EQ(ticksWhenOff, 3);
    EXPECT_FALSE(markShown());
    EXPECT_TRUE(f->boxes.shown.empty());

    // Releasing COMCon closes the port and returns the bar to Idle.
    QTest::mouseClick(button("COMCon"), Qt::LeftButton);
    EXPECT_FALSE(f->window->COMM2->Connected());
    EXPECT_TRUE(button("USBCon")->isVisible());
    EXPECT_TRUE(f->child("BtCOM1")->isEnabled());
}

TEST_F(SerialWindow, AMeterThatGoesAwayIsReportedOnceAndTheBarReturnsToIdle) {
    startMeter("20");
    QTest::mouseClick(button("COMCon"), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return frames() >= 2; }));
    sim.terminate(); // the pseudo-terminal goes with the simulator
    ASSERT_TRUE(pumpUntil([&] { return !f->window->COMM2->Connected(); }));
    QTest::qWait(300);
    ASSERT_EQ(f->boxes.shown.size(), 1u);
    EXPECT_TRUE(f->boxes.shown[0].text.startsWith(QStringLiteral("COM1 (%1) との接続が切れました").arg(meterLink)))
        << f->boxes.shown[0].text.toStdString();
    EXPECT_FALSE(button("COMCon")->isChecked());
    EXPECT_TRUE(button("USBCon")->isVisible());
    EXPECT_TRUE(f->child("BtCOM1")->isEnabled());
    EXPECT_FALSE(markShown());
}

TEST_F(SerialWindow, APortThatDoesNotOpenSaysWhyAndComConSpringsBack) {
    QTest::mouseClick(button("COMCon"), Qt::LeftButton); // no meter at the link
    EXPECT_FALSE(f->window->COMM2->Connected());
    ASSERT_EQ(f->boxes.shown.size(), 1u);
    EXPECT_EQ(f->boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_TRUE(f->boxes.shown[0].text.startsWith(QStringLiteral("COM1 (%1) を開けませんでした").arg(meterLink)));
    // The reason in the window's language, not the system's English.
    const QString reason = QStringLiteral("\n理由: %1\n").arg(systemErrorText(ENOENT));
    EXPECT_TRUE(f->boxes.shown[0].text.contains(reason)) << f->boxes.shown[0].text.toStdString();
    EXPECT_FALSE(f->boxes.shown[0].text.contains(QString::fromLocal8Bit(std::strerror(ENOENT))));
    EXPECT_FALSE(button("COMCon")->isChecked());
    EXPECT_TRUE(button("USBCon")->isVisible());
    EXPECT_TRUE(f->child("BtCOM1")->isEnabled());
}

} // namespace
