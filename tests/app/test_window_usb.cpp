// The USB cable link in the window, over the substitute HID system: the cable
// plugged in and USB接続 pressed, reports making the display follow the meter
// and the link mark show, the watchdog letting the link go with its message,
// a plug or unplug stalling a connected link until it is pressed again, the
// COM and USB links excluding each other, failing device-change passes in
// the error box, and every reader stopped when the window closes.

#include "app/WindowTestSupport.h"
#include "link/hid/TJvHidDeviceReadThread.h"
#include "link/hid/UsbCableLink.h"
#include "link/serial/TCommPortDriver.h"
#include "pipeline/MeterPipeline.h"
#include "platform/linux/PseudoTerminal.h"
#include "support/EventPump.h"
#include "support/FakeHidPlatform.h"
#include "support/HidTestDevices.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

using namespace velkor;
using namespace velkor::status1;
using velkor::test::cableReport;
using velkor::test::cableReports;
using velkor::test::FakeHidDevice;
using velkor::test::FakeHidPlatform;
using velkor::test::hidDevice;
using velkor::test::pumpFor;
using velkor::test::pumpUntil;
using velkor::test::WindowFixture;

namespace {

using Bytes = std::vector<std::uint8_t>;

const QString kNoCableText = QStringLiteral(
    "USBケーブルが接続されていません。ケーブルを接続後、再度ボタンを押してください。");
const QString kCablePath = QStringLiteral("/dev/hidraw1");

class UsbWindow : public ::testing::Test {
protected:
    void SetUp() override {
        f = std::make_unique<WindowFixture>(MeterVariant::IFHALVIN, &fake);
        QApplication::processEvents(); // the first device-change pass
    }
    void TearDown() override {
        f.reset();
        EXPECT_EQ(TJvHidDeviceReadThread::runningThreads(), 0);
        EXPECT_EQ(fake.openHandles(), 0);
    }

    UsbCableLink& link() const { return *f->window->usbLink; }
    QPushButton* button(const char* name) const { return f->child<QPushButton>(name); }
    bool shown(const char* name) const { return f->child(name)->isVisible(); }
    long long frames() const { return f->window->pipeline().framesOffered(); }
    QString panelDigits() const {
        QString s;
        for (const char* name : {"LcdDa", "LcdDb", "LcdDc", "LcdDd"}) {
            s += f->child<QLabel>(name)->text();
        }
        return s;
    }
    bool historyHas(const QString& line) const {
        const auto& h = link().HistoryListBox();
        return std::find(h.begin(), h.end(), line) != h.end();
    }

    void plug(const FakeHidDevice& d) {
        fake.plug(d);
        fake.notifyChange();
        ASSERT_TRUE(pumpUntil([&] {
            return historyHas(QStringLiteral("Arrival of ") +
                              QString::fromStdU16String(*d.productString));
        }));
    }
    void plugCable() {
        plug(hidDevice(1, u"USB to Serial"));
        ASSERT_GE(link().DevListBoxItemIndex(), 0);
    }
    void unplug(const FakeHidDevice& d) {
        fake.unplug(d.path);
        fake.notifyChange();
        ASSERT_TRUE(pumpUntil([&] {
            return historyHas(QStringLiteral("Removal of ") +
                              QString::fromStdU16String(*d.productString));
        }));
    }
    void clickUsb() { QTest::mouseClick(button("USBCon"), Qt::LeftButton); }

    // The meter's frame in reports of up to seven bytes, then one report
    // without payload that ends it.
    void sendFrame(const MeterFrame& frame) {
        const auto bytes = frame.bytes();
        for (const Bytes& r : cableReports(Bytes(bytes.begin(), bytes.end()))) {
            fake.pushReport(kCablePath, r);
        }
    }
    // Sends the frame and waits until the decoder has taken it and the
    // window has shown it (at display rate).
    void expectDecoded(const MeterFrame& frame, const char* digits) {
        const long long before = frames();
        sendFrame(frame);
        ASSERT_TRUE(pumpUntil([&] { return frames() > before && !f->window->displayPending(); }));
        EXPECT_EQ(panelDigits(), QString::fromLatin1(digits));
    }

    FakeHidPlatform fake;
    std::unique_ptr<WindowFixture> f;
};

const Bytes kFeature2400{0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};

TEST_F(UsbWindow, TheDisplayFollowsTheCableWhileUsbConnectIsDown) {
    // No cable: the message, and USBCon springs back up.
    clickUsb();
    ASSERT_EQ(f->boxes.shown.size(), 1u);
    EXPECT_EQ(f->boxes.shown[0].text, kNoCableText);
    EXPECT_EQ(f->boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_FALSE(button("USBCon")->isChecked());
    EXPECT_TRUE(shown("COMCon"));

    plugCable();
    clickUsb();
    EXPECT_TRUE(button("USBCon")->isChecked());
    EXPECT_FALSE(shown("COMCon"));
    for (const char* panel : {"BtCOM1", "BtCOM2", "BtCOM3", "BtCOM4"}) {
        EXPECT_FALSE(shown(panel)) << panel;
    }
    EXPECT_EQ(fake.featureReports(kCablePath), std::vector<Bytes>{kFeature2400});

    expectDecoded(meterFrame("012.3", {Auto | DC, 0, 0, status4::Volt}), "0123");
    EXPECT_TRUE(shown("CONok"));
    EXPECT_FALSE(shown("CONokN"));
    expectDecoded(meterFrame("-4.815", {Auto | DC, 0, 0, status4::Volt}), "4815");
    // The mark goes off once the frames stop.
    EXPECT_TRUE(pumpUntil([&] { return shown("CONokN") && !shown("CONok"); }));

    // Releasing sends the line speed again, stops the reader and brings
    // the serial controls back.
    clickUsb();
    EXPECT_FALSE(button("USBCon")->isChecked());
    EXPECT_TRUE(shown("COMCon"));
    EXPECT_TRUE(shown("BtCOM1"));
    EXPECT_EQ(fake.featureReports(kCablePath).size(), 2u);
    EXPECT_EQ(TJvHidDeviceReadThread::runningThreads(), 0);
    EXPECT_EQ(f->boxes.shown.size(), 1u);
}

TEST_F(UsbWindow, TheWatchdogReleasesUsbConWithItsMessage) {
    plugCable();
    clickUsb();
    ASSERT_TRUE(button("USBCon")->isChecked());
    fake.setEndlessReports(kCablePath, [](std::uint64_t) { return cableReport(0xF0); });
    ASSERT_TRUE(pumpUntil([&] { return !f->boxes.shown.empty(); }, 20000));
    ASSERT_EQ(f->boxes.shown.size(), 1u);
    EXPECT_EQ(f->boxes.shown[0].text, kNoCableText);
    EXPECT_GE(fake.readsDelivered(kCablePath), 1900u);
    EXPECT_FALSE(button("USBCon")->isChecked());
    EXPECT_FALSE(link().USBConDown());
    // The reader is stopped; the serial controls stay hidden until USB
    // connect is pressed and released again.
    EXPECT_TRUE(pumpUntil([] { return TJvHidDeviceReadThread::runningThreads() == 0; }));
    EXPECT_FALSE(shown("COMCon"));
    pumpFor(400);
    EXPECT_EQ(f->boxes.shown.size(), 1u);
}

TEST_F(UsbWindow, APlugOrUnplugWhileConnectedStallsTheLinkUntilPressedAgain) {
    plugCable();
    clickUsb();
    expectDecoded(meterFrame("012.3", {Auto | DC, 0, 0, status4::Volt}), "0123");

    const FakeHidDevice other = hidDevice(2, u"Keyboard");
    struct Step {
        const char* name;
        std::function<void()> change;
        MeterFrame frame;
        const char* digits;
    };
    const Step steps[] = {
        {"plug", [&] { plug(other); }, meterFrame("1.000", {AC | DC, 0, 0, status4::Volt}), "1000"},
        {"unplug", [&] { unplug(other); }, meterFrame("0.587", {Auto | DC, 0, 0, status4::Volt}),
         "0587"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const QString before = panelDigits();
        step.change();
        EXPECT_TRUE(button("USBCon")->isChecked());
        EXPECT_FALSE(shown("COMCon"));
        // The frame waits: no reader is on the cable.
        const long long offered = frames();
        sendFrame(step.frame);
        pumpFor(300);
        EXPECT_EQ(frames(), offered);
        EXPECT_EQ(panelDigits(), before);
        EXPECT_EQ(TJvHidDeviceReadThread::runningThreads(), 0);

        // Released and pressed again, the new reader takes it.
        clickUsb();
        EXPECT_TRUE(shown("COMCon"));
        clickUsb();
        ASSERT_TRUE(pumpUntil([&] { return frames() > offered && !f->window->displayPending(); }));
        EXPECT_EQ(panelDigits(), QString::fromLatin1(step.digits));
    }
    EXPECT_TRUE(f->boxes.shown.empty());
}

TEST_F(UsbWindow, ComAndUsbExcludeEachOther) {
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    qputenv("VELKOR_COM1", line.slavePath().toLocal8Bit());
    plugCable();

    QTest::mouseClick(button("COMCon"), Qt::LeftButton);
    ASSERT_TRUE(button("COMCon")->isChecked()) << f->boxes.shown.size();
    EXPECT_FALSE(shown("USBCon"));
    QTest::mouseClick(button("COMCon"), Qt::LeftButton);
    EXPECT_TRUE(shown("USBCon"));

    clickUsb();
    EXPECT_FALSE(shown("COMCon"));
    EXPECT_FALSE(shown("BtCOM1"));
    clickUsb();
    EXPECT_TRUE(shown("COMCon"));
    EXPECT_TRUE(shown("BtCOM1"));
    EXPECT_TRUE(f->boxes.shown.empty());
    qunsetenv("VELKOR_COM1");
}

// What a screen reader or a GUI robot does with a toggle button: its one
// action, "Toggle", through the accessibility interface.
void toggleAccessibly(QPushButton* button) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->actionInterface(), nullptr);
    ASSERT_TRUE(
        a->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QApplication::processEvents();
}

// Toggled through the accessibility interface, COM接続 and USB接続 connect
// and let go as a click does, and say so when there is nothing to connect.
TEST_F(UsbWindow, AccessibleToggleRunsTheSameHandlerAsAClick) {
    toggleAccessibly(button("USBCon")); // no cable
    ASSERT_EQ(f->boxes.shown.size(), 1u);
    EXPECT_EQ(f->boxes.shown[0].text, kNoCableText);
    EXPECT_FALSE(button("USBCon")->isChecked());

    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    qputenv("VELKOR_COM1", line.slavePath().toLocal8Bit());
    plugCable();
    toggleAccessibly(button("COMCon"));
    EXPECT_TRUE(button("COMCon")->isChecked());
    EXPECT_TRUE(f->window->COMM2->Connected());
    EXPECT_FALSE(shown("USBCon"));
    toggleAccessibly(button("COMCon"));
    EXPECT_FALSE(f->window->COMM2->Connected());
    EXPECT_TRUE(shown("USBCon"));

    toggleAccessibly(button("USBCon"));
    EXPECT_TRUE(button("USBCon")->isChecked());
    EXPECT_TRUE(link().USBConDown());
    EXPECT_FALSE(shown("COMCon"));
    toggleAccessibly(button("USBCon"));
    EXPECT_FALSE(link().USBConDown());
    EXPECT_TRUE(shown("COMCon"));
    EXPECT_EQ(f->boxes.shown.size(), 1u);
    qunsetenv("VELKOR_COM1");
}

TEST_F(UsbWindow, AFailedDeviceChangePassShowsTheErrorBoxAndTheNextOneRecovers) {
    FakeHidDevice broken = hidDevice(1, u"USB to Serial");
    broken.identifiable = false;
    fake.plug(broken);
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return !f->boxes.shown.empty(); }));
    EXPECT_TRUE(f->boxes.shown[0].text.contains(QStringLiteral("Device cannot be identified")))
        << f->boxes.shown[0].text.toStdString();

    fake.update(kCablePath, [](FakeHidDevice& d) { d.identifiable = true; });
    fake.notifyChange();
    ASSERT_TRUE(pumpUntil([&] { return link().DevListBoxItemIndex() >= 0; }));
    EXPECT_EQ(f->boxes.shown.size(), 1u);
}

TEST_F(UsbWindow, ClosingTheWindowStopsEveryReader) {
    plugCable();
    clickUsb();
    fake.setEndlessReports(kCablePath, [](std::uint64_t n) {
        return n % 2 ? cableReport(0xF0) : cableReport(0xF2, {0x2B, 0x30});
    });
    ASSERT_TRUE(pumpUntil([&] { return fake.readsDelivered(kCablePath) > 100; }));
    ASSERT_GT(TJvHidDeviceReadThread::runningThreads(), 0);

    f->boxes.answers.push_back(MessageBoxes::Answer::Yes);
    EXPECT_TRUE(f->window->close());
    EXPECT_EQ(TJvHidDeviceReadThread::runningThreads(), 0);
    EXPECT_EQ(fake.openHandles(), 0);
    EXPECT_EQ(fake.watchers(), 0);
    // USBCon does nothing once the link is gone.
    f->window->USBConClick();
}

} // namespace
