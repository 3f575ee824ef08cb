// The connection bar: port selector, COM link button, the exclusion with the
// USB link, the link mark and the connection timer with the USB watchdog.
#include "link/serial/SerialTestSupport.h"

#include "platform/MessageBoxes.h"
#include "link/connection/LinkCounters.h"
#include "link/connection/ConnectionControl.h"
#include "link/connection/UsbWatchdogTarget.h"
#include "support/FixedClock.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/linux/ComPortNames.h"
#include "platform/posix/SystemErrorText.h"
#include "support/RealSerialPort.h"

#include <QRegularExpression>
#include <QTemporaryDir>

using namespace velkor;
using namespace velkor::test;
using Op = FaultySerialSystem::Op;

namespace {

const QString kInformation = QStringLiteral("インフォメーション");
const QString kWatchdogText =
    QStringLiteral("USBケーブルが接続されていません。ケーブルを接続後、再度ボタンを押してください。");

struct FakeUsb final : UsbWatchdogTarget {
    int released = 0;
    void releaseByWatchdog() override { ++released; }
};

class Connection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.open());
        ASSERT_TRUE(noDevices.isValid());
        for (int n = pnCOM1; n <= pnCOM4; ++n) {
            qunsetenv(ComPortNames::environmentName(static_cast<TComPortNumber>(n)).toLatin1().constData());
        }
        qputenv("VELKOR_COM1", line.slavePath().toLocal8Bit());
        // The designed component: COM1, 2400 baud, polled every 100 ms.
        COMM2.setComPort(pnCOM1);
        COMM2.setComPortSpeed(br2400);
        COMM2.setComPortPollingDelay(100);
        control = std::make_unique<ConnectionControl>(COMM2, counters, boxes);
        control->setUsbWatchdogTarget(&usb);
        QObject::connect(control.get(), &ConnectionControl::barChanged, [this] { ++barChanges; });
    }
    void TearDown() override { qunsetenv("VELKOR_COM1"); }

    // A click on whichever port panel is visible.
    void clickVisiblePanel() {
        const auto& v = control->bar().portPanelVisible;
        if (v[0]) {
            control->COM21Click(); // BtCOM1
        } else if (v[1]) {
            control->COM31Click(); // BtCOM2
        } else if (v[2]) {
            control->COM41Click(); // BtCOM3
        } else if (v[3]) {
            control->COM11Click(); // BtCOM4
        }
    }
    int visiblePanel() const {
        const auto& v = control->bar().portPanelVisible;
        int shown = -1;
        for (int i = 0; i < 4; ++i) {
            if (v[i]) {
                EXPECT_EQ(shown, -1) << "one panel at a time";
                shown = i;
            }
        }
        return shown;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            control->ConTimerTimer();
        }
    }

public:
    PseudoTerminal line;
    QTemporaryDir noDevices;
    FaultySerialSystem sys;
    FixedClock clock;
    ComPortNames names{noDevices.path(), noDevices.path()};
    TCommPortDriver COMM2{sys, clock, names};
    LinkCounters counters;
    ScriptedMessageBoxes boxes;
    FakeUsb usb;
    test::RealSerialPort other;
    TCommPortDriver& otherProgram = other.port;
    std::unique_ptr<ConnectionControl> control;
    int barChanges = 0;
};

// ----- The link states ----------------------------------------------------

struct BarRow {
    LinkState state;
    bool COMConVisible, COMConDown, USBConVisible, USBConDown;
    int panelShown; // -1: all hidden
    bool panelsEnabled;
    bool portOpen;
};

void expectRow(const ConnectionControl& c, const TCommPortDriver& port, int shown, const BarRow& r,
               const char* where) {
    SCOPED_TRACE(where);
    const ConnectionBar& b = c.bar();
    EXPECT_EQ(c.state(), r.state);
    EXPECT_EQ(b.COMConVisible, r.COMConVisible);
    EXPECT_EQ(b.COMConDown, r.COMConDown);
    EXPECT_EQ(b.USBConVisible, r.USBConVisible);
    EXPECT_EQ(b.USBConDown, r.USBConDown);
    EXPECT_EQ(shown, r.panelShown);
    EXPECT_EQ(b.portPanelsEnabled, r.panelsEnabled);
    EXPECT_EQ(port.Connected(), r.portOpen);
}

constexpr BarRow kIdle{LinkState::Idle, true, false, true, false, 0, true, false};
constexpr BarRow kCom{LinkState::COM, true, true, false, false, 0, false, true};
constexpr BarRow kUsb{LinkState::USB, false, false, true, true, -1, true, false};

TEST_F(Connection, IdleComIdleUsbIdle) {
    expectRow(*control, COMM2, visiblePanel(), kIdle, "start");
    EXPECT_FALSE(control->bar().CONokShown);
    EXPECT_EQ(control->bar().portDevicePaths[0], line.slavePath()) << "the tooltip of COM 1";
    EXPECT_EQ(control->bar().portDevicePaths[1], QString());

    control->COMConClick(true);
    expectRow(*control, COMM2, visiblePanel(), kCom, "COMCon down");
    control->COMConClick(false);
    expectRow(*control, COMM2, visiblePanel(), kIdle, "COMCon up");

    control->setUsbConDown(true);
    control->setSerialControlsHidden(true);
    expectRow(*control, COMM2, visiblePanel(), kUsb, "USBCon down");
    control->setUsbConDown(false);
    control->setSerialControlsHidden(false);
    expectRow(*control, COMM2, visiblePanel(), kIdle, "USBCon up");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_GT(barChanges, 0);
}

TEST_F(Connection, FourClicksOnTheVisiblePanelWalkThroughEveryPort) {
    std::vector<int> shown;
    std::vector<TComPortNumber> ports;
    for (int i = 0; i < 4; ++i) {
        clickVisiblePanel();
        shown.push_back(visiblePanel());
        ports.push_back(COMM2.ComPort());
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(ports, (std::vector<TComPortNumber>{pnCOM2, pnCOM3, pnCOM4, pnCOM1}));
}

TEST_F(Connection, TheUsbLinkEndingShowsThePanelOfTheSelectedPort) {
    clickVisiblePanel();
    clickVisiblePanel(); // COM3
    control->setSerialControlsHidden(true);
    EXPECT_EQ(visiblePanel(), -1);
    control->setSerialControlsHidden(false);
    EXPECT_EQ(visiblePanel(), 2);
    EXPECT_TRUE(control->bar().COMConVisible);
}

TEST_F(Connection, PanelClicksChangeNothingWhileConnected) {
    control->COMConClick(true);
    ASSERT_TRUE(COMM2.Connected());
    const ConnectionBar before = control->bar();
    control->COM11Click();
    control->COM21Click();
    control->COM31Click();
    control->COM41Click();
    EXPECT_EQ(control->bar(), before);
    EXPECT_EQ(COMM2.ComPort(), pnCOM1);
}

// ----- A port that does not open, a port that goes away --------------------

// The box's reason line is the window's Japanese, never the system's or
// the driver's English.
void expectJapaneseReason(const QString& text) {
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^理由: (.+)$"), QRegularExpression::MultilineOption)
            .match(text);
    ASSERT_TRUE(m.hasMatch()) << text.toStdString();
    EXPECT_FALSE(m.captured(1).contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
        << m.captured(1).toStdString();
}

struct OpenFailureCase {
    const char* name;
    std::function<void(Connection&)> arrange;
    TComPortNumber port;
    std::vector<QString> mentions;
};

class OpenFailure : public Connection, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailure, IsReportedAndTheBarReturnsToIdle) {
    const auto& c = GetParam();
    c.arrange(*this);
    control->COMConClick(true);
    EXPECT_FALSE(COMM2.Connected());
    expectRow(*control, COMM2, visiblePanel(), {LinkState::Idle, true, false, true, false,
                                                static_cast<int>(c.port), true, false},
              "after the failed open");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, kInformation);
    EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
    for (const QString& m : c.mentions) {
        EXPECT_TRUE(boxes.shown[0].text.contains(m)) << boxes.shown[0].text.toStdString() << "\nlacks "
                                                     << m.toStdString();
    }
    expectJapaneseReason(boxes.shown[0].text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenFailure,
    ::testing::Values(
        OpenFailureCase{"missing",
                        [](Connection& t) {
                            qputenv("VELKOR_COM2", "/dev/velkor-missing");
                            t.control->COM21Click();
                        },
                        pnCOM2,
                        {"COM2 (/dev/velkor-missing) を開けませんでした", systemErrorText(ENOENT),
                         "VELKOR_COM2"}},
        OpenFailureCase{"permission",
                        [](Connection& t) { t.sys.fail(Op::Open, EACCES); },
                        pnCOM1,
                        {"COM1 (/dev/pts/", systemErrorText(EACCES), "dialout"}},
        OpenFailureCase{"held",
                        [](Connection& t) {
                            t.otherProgram.setDevicePath(t.line.slavePath());
                            ASSERT_TRUE(t.otherProgram.Connect());
                        },
                        pnCOM1,
                        {"ほかのプログラムが使用中です", "別のプログラム"}},
        OpenFailureCase{"noDevice",
                        [](Connection& t) {
                            t.control->COM21Click();
                            t.control->COM31Click();
                        },
                        pnCOM3,
                        {"COM3 (デバイスなし)", "VELKOR_COM3"}},
        OpenFailureCase{
            "unsupportedSpeed",
            [](Connection& t) { t.COMM2.setComPortSpeed(br14400); },
            pnCOM1,
            {"通信設定（14400 ボー、8 ビット、パリティなし、ストップビット 1）を使えません"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Connection, ADeviceThatGoesAwayIsReportedOnceAndTheBarReturnsToIdle) {
    control->COMConClick(true);
    ASSERT_TRUE(COMM2.Connected());
    const QString path = line.slavePath();
    line.closeMaster();
    for (int i = 0; i < 3; ++i) {
        COMM2.PollTimerProc();
    }
    expectRow(*control, COMM2, visiblePanel(), kIdle, "after the loss");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, kInformation);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("COM1 (%1) との接続が切れました").arg(path)))
        << boxes.shown[0].text.toStdString();
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("理由: ") + systemErrorText(EIO)))
        << boxes.shown[0].text.toStdString();
    expectJapaneseReason(boxes.shown[0].text);
    control->COMConClick(false); // the button, already up, changes nothing more
    EXPECT_EQ(boxes.shown.size(), 1u);
}

// ----- The link mark and the USB watchdog -----------------------------------

TEST_F(Connection, TheMarkGoesOffAtTheThirdTickAfterTheLastFrame) {
    control->frameArriving();
    std::vector<bool> mark;
    std::vector<int> idle;
    for (int i = 0; i < 4; ++i) {
        control->ConTimerTimer();
        mark.push_back(control->bar().CONokShown);
        idle.push_back(counters.LinkIdleTicks);
    }
    EXPECT_EQ(mark, (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(idle, (std::vector<int>{1, 2, 0, 1}));
}

TEST_F(Connection, FramesEveryFiveTicksMakeTheMarkBlink) {
    std::string trace;
    for (int tick = 0; tick < 20; ++tick) {
        if (tick % 5 == 0) {
            control->frameArriving();
        }
        control->ConTimerTimer();
        trace += control->bar().CONokShown ? '#' : '.';
    }
    EXPECT_EQ(trace, "##...##...##...##...");
}

TEST_F(Connection, TheWatchdogEndsAUsbLinkWithoutMeterDataOnce) {
    control->setUsbConDown(true);
    control->setSerialControlsHidden(true);
    counters.EmptyReportCount = 1900;
    ticks(2);
    EXPECT_TRUE(boxes.shown.empty()) << "looked at only on the third idle tick";
    ticks(1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kWatchdogText);
    EXPECT_EQ(boxes.shown[0].caption, kInformation);
    EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
    EXPECT_EQ(usb.released, 1);
    EXPECT_EQ(counters.EmptyReportCount, 0);
    EXPECT_FALSE(control->bar().USBConDown);
    EXPECT_FALSE(control->bar().COMConVisible) << "COMCon stays hidden";
    EXPECT_EQ(visiblePanel(), -1);
    counters.EmptyReportCount = 1899;
    ticks(9);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(usb.released, 1);
}

TEST_F(Connection, TheWatchdogShowsItsMessageWithoutAUsbLinkToo) {
    control->setUsbWatchdogTarget(nullptr);
    counters.EmptyReportCount = 5000;
    ticks(3);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(counters.EmptyReportCount, 0);
}

} // namespace
