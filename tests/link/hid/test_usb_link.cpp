#include "support/EventPump.h"
#include "support/FakeHidPlatform.h"
#include "support/HidTestDevices.h"
#include "decode/DecoderTestSupport.h"
#include "platform/MessageBoxes.h"
#include "sim/FrameEncoder.h"
#include "pipeline/MeterPipeline.h"
#include "link/connection/LinkCounters.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/TJvHidDeviceReadThread.h"
#include "link/hid/UsbCableLink.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "support/FixedLocaleSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace velkor;
using velkor::test::FakeHidDevice;
using velkor::test::FakeHidPlatform;
using velkor::test::pumpFor;
using velkor::test::pumpUntil;
using velkor::test::cableReport;
using velkor::test::cableReports;

namespace {

using Bytes = std::vector<std::uint8_t>;

const QString kNoCableText = QStringLiteral(
    "USBケーブルが接続されていません。ケーブルを接続後、再度ボタンを押してください。");

FakeHidDevice cable(std::uint32_t id, std::optional<std::u16string> product = u"USB to Serial") {
    return velkor::test::hidDevice(id, std::move(product));
}

Bytes frameBytes(const char* display, std::array<std::uint8_t, 4> status) {
    const auto b = meterFrame(display, status).bytes();
    return Bytes(b.begin(), b.end());
}

std::string hex(const Bytes& b) {
    std::string s;
    char buf[3];
    for (auto v : b) {
        std::snprintf(buf, sizeof buf, "%02X", v);
        s += buf;
    }
    return s;
}

struct LinkFixture : ::testing::Test {
    FakeHidPlatform fake;
    FixedLocaleSource locale{QStringLiteral(".")};
    velkor::test::RecordingHost host;
    std::unique_ptr<MeterPipeline> pipeline;
    LinkCounters counters;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<TJvHidDeviceController> ctl;
    std::unique_ptr<UsbCableLink> link;
    std::vector<bool> usbConSignals;
    std::vector<bool> serialHiddenSignals;
    std::vector<std::string> frameErrors;
    int decoded = 0;

    void start(MeterVariant variant = MeterVariant::IFHALVIN) {
        pipeline = std::make_unique<MeterPipeline>(variant, locale, host);
        pipeline->setOnDecoded([this] { ++decoded; });
        ctl = std::make_unique<TJvHidDeviceController>(fake);
        link = std::make_unique<UsbCableLink>(*ctl, *pipeline, variant, counters, boxes);
        link->FrameRunner = [this](const UsbCableLink::FrameStep& decode) {
            try {
                decode();
            } catch (const std::exception& e) {
                frameErrors.push_back(e.what());
            }
        };
        QObject::connect(link.get(), &UsbCableLink::usbConChanged,
                         [this](bool down) { usbConSignals.push_back(down); });
        QObject::connect(link.get(), &UsbCableLink::serialControlsHiddenChanged,
                         [this](bool hidden) { serialHiddenSignals.push_back(hidden); });
        ctl->Loaded();
        QCoreApplication::processEvents(); // the first device-change pass
    }

    void TearDown() override {
        link.reset();
        ctl.reset();
        EXPECT_EQ(TJvHidDeviceReadThread::runningThreads(), 0);
        EXPECT_EQ(fake.openHandles(), 0);
    }

    std::vector<QString> names() const {
        std::vector<QString> n;
        for (const auto& item : link->DevListBox()) {
            n.push_back(item.text);
        }
        return n;
    }

    // Hands reports to the variant's handler as the reader would.
    void feed(const std::vector<Bytes>& reports) {
        for (const auto& r : reports) {
            link->HALVINShowRead(nullptr, r[0], r.data() + 1, static_cast<std::uint16_t>(r.size() - 1));
        }
    }

    void push(const QString& path, const std::vector<Bytes>& reports) {
        for (const auto& r : reports) {
            fake.pushReport(path, r);
        }
    }

    QString lastHistory() const {
        return link->HistoryListBox().empty() ? QString() : link->HistoryListBox().back();
    }
};

// --- selecting the cable ----------------------------------------------------

struct SelectionCase {
    const char* name;
    std::vector<FakeHidDevice> devices;
    std::vector<QString> names;
    int selected;
};

class CableSelection : public LinkFixture, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(CableSelection, SelectsTheLastDeviceNamedExactlyUsbToSerial) {
    for (const auto& d : GetParam().devices) {
        fake.plug(d);
    }
    start();
    EXPECT_EQ(names(), GetParam().names);
    EXPECT_EQ(link->DevListBoxItemIndex(), GetParam().selected);
    ASSERT_EQ(link->HistoryListBox().size(), GetParam().names.size());
    for (std::size_t i = 0; i < GetParam().names.size(); ++i) {
        EXPECT_EQ(link->HistoryListBox()[i], QStringLiteral("Arrival of ") + GetParam().names[i]);
    }
    for (const auto& item : link->DevListBox()) {
        EXPECT_TRUE(item.device->IsCheckedOut());
    }
}

FakeHidDevice withSerial(FakeHidDevice d, std::u16string serial) {
    d.serialString = std::move(serial);
    return d;
}

FakeHidDevice unnamed() {
    FakeHidDevice d = cable(4, std::nullopt);
    d.vendor = 0x0ABC;
    d.product = 0x1234;
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableSelection,
    ::testing::Values(
        SelectionCase{"one_cable", {cable(1)}, {QStringLiteral("USB to Serial")}, 0},
        SelectionCase{"last_of_two_wins",
                      {cable(1), cable(2, u"Keyboard"), cable(3)},
                      {QStringLiteral("USB to Serial"), QStringLiteral("Keyboard"),
                       QStringLiteral("USB to Serial")},
                      2},
        SelectionCase{"serial_suffix_excludes",
                      {withSerial(cable(1), u"0001")},
                      {QStringLiteral("USB to Serial (Serial=0001)")},
                      -1},
        SelectionCase{"case_matters", {cable(1, u"usb to serial")}, {QStringLiteral("usb to serial")}, -1},
        SelectionCase{"unnamed_device", {unnamed()}, {QStringLiteral("Device VID=0ABC PID=1234")}, -1},
        SelectionCase{"nothing_plugged", {}, {}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkFixture, WithoutACableUsbConnectShowsTheMessageAndSpringsBack) {
    fake.plug(cable(1, u"Mouse"));
    start();
    link->USBConClick(true);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kNoCableText);
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_FALSE(link->USBConDown());
    EXPECT_EQ(usbConSignals, (std::vector<bool>{true, false})) << "pressed, then set up";
    EXPECT_TRUE(serialHiddenSignals.empty()) << "the serial controls are not touched";
    EXPECT_EQ(link->CurrentDevice(), nullptr);
}

// --- the count byte and frames ----------------------------------------------

struct CountCase {
    const char* name;
    Bytes data; // after the report ID
    std::string rxHex;
    bool payload;
    int emptyReports;
};

class CountByte : public LinkFixture, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountByte, TakesOneToNineSerialBytesUpToTheReportsEnd) {
    start();
    const Bytes& d = GetParam().data;
    link->HALVINShowRead(nullptr, 0, d.data(), static_cast<std::uint16_t>(d.size()));
    EXPECT_EQ(link->UsbRxHex(), GetParam().rxHex);
    EXPECT_EQ(link->UsbFramePending(), GetParam().payload);
    EXPECT_EQ(counters.EmptyReportCount, GetParam().emptyReports);
    EXPECT_EQ(link->HistoryListBox().empty(), !GetParam().payload)
        << "only reports with payload are written down";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CountByte,
    ::testing::Values(
        CountCase{"one", {0x01, 0x2B, 0x99}, "2B", true, 0},
        CountCase{"high_nibble_ignored", {0xF3, 0x2B, 0x30}, "2B30", true, 0},
        CountCase{"nine", {0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "010203040506070809", true, 0},
        CountCase{"cut_at_size", {0x05, 0x41, 0x42}, "4142", true, 0},
        CountCase{"zero", {0xF0, 0x2B, 0x30, 0, 0, 0, 0, 0}, "", false, 1},
        CountCase{"ten", {0xFA, 0x2B, 0x30, 0, 0, 0, 0, 0}, "", false, 1},
        CountCase{"fifteen", {0x0F, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, "", false, 1},
        CountCase{"count_byte_alone", {0x03}, "", true, 0},
        CountCase{"nothing", {}, "", false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkFixture, ReportLineShowsTheReportIdAndEveryDataByte) {
    start();
    const Bytes d{0xF2, 0x2B, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00};
    link->HALVINShowRead(nullptr, 0x00, d.data(), 8);
    EXPECT_EQ(lastHistory(), QStringLiteral("R 00  F2 2B 30 00 00 00 00 00 "));
}

struct FrameCase {
    const char* name;
    std::vector<Bytes> reports;
    std::string frameHex;
    int decoded;
};

class FrameEnd : public LinkFixture, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameEnd, AFrameEndsAtTheFirstReportWithoutPayloadAndIsCheckedByBytes0And12) {
    start();
    feed(GetParam().reports);
    EXPECT_EQ(pipeline->decoder().FrameHex, GetParam().frameHex);
    EXPECT_EQ(decoded, GetParam().decoded);
    EXPECT_EQ(link->UsbRxHex(), "");
    EXPECT_FALSE(link->UsbFramePending());
}

Bytes withByte(Bytes b, std::size_t i, std::uint8_t v) {
    b[i] = v;
    return b;
}

const Bytes kFrame = frameBytes("012.3", {status1::Auto | status1::DC, status2::Row6v, 0, status4::Volt});
const Bytes kMinus = frameBytes("-1.234", {status1::DC, status2::Row6v, 0, status4::Volt});

std::vector<Bytes> join(std::vector<Bytes> a, const std::vector<Bytes>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Bytes> oneByteReports(const Bytes& serial) { return cableReports(serial, 1); }

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameEnd,
    ::testing::Values(
        FrameCase{"plus_frame", cableReports(kFrame), hex(kFrame), 1},
        FrameCase{"minus_frame_one_byte_per_report", oneByteReports(kMinus), hex(kMinus), 1},
        FrameCase{"no_carriage_return", cableReports(withByte(kFrame, 12, 0x0E)),
                  hex(withByte(kFrame, 12, 0x0E)), 0},
        FrameCase{"no_sign", cableReports(withByte(kFrame, 0, 0x20)), hex(withByte(kFrame, 0, 0x20)), 0},
        FrameCase{"short", cableReports(Bytes(kFrame.begin(), kFrame.begin() + 12)),
                  hex(Bytes(kFrame.begin(), kFrame.begin() + 12)), 0},
        // Two frames without a report without payload between them are one
        // frame text, judged by the first frame's bytes 0 and 12.
        FrameCase{"two_frames_joined",
                  join({cableReport(0xF7, Bytes(kFrame.begin(), kFrame.begin() + 7)),
                        cableReport(0xF7, Bytes(kFrame.begin() + 7, kFrame.end()))},
                       cableReports(withByte(kMinus, 12, 0x00))),
                  hex(kFrame), 1},
        FrameCase{"first_of_two_joined_frames_rejects",
                  join({cableReport(0xF7, Bytes(kFrame.begin(), kFrame.begin() + 7)),
                        cableReport(0xF7, withByte(Bytes(kFrame.begin() + 7, kFrame.end()), 5, 0x0E))},
                       cableReports(kMinus)),
                  hex(withByte(kFrame, 12, 0x0E)), 0},
        FrameCase{"empty_reports_between_frames",
                  join(join({cableReport(0xF0), cableReport(0xF0)}, cableReports(kFrame)), {cableReport(0xF0)}),
                  hex(kFrame), 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkFixture, TheDecodedFrameReachesTheReading) {
    start();
    feed(cableReports(kFrame));
    EXPECT_EQ(pipeline->decoder().reading.ValueText, QStringLiteral("012.3"));
    EXPECT_EQ(pipeline->decoder().reading.FunctionText, QStringLiteral("DC"));
    EXPECT_EQ(pipeline->decoder().reading.UnitText, QStringLiteral("V"));
}

TEST_F(LinkFixture, AFrameThatFailsToDecodeCostsOnlyThatFrame) {
    start();
    feed(cableReports(withByte(kFrame, 2, 0x3B))); // the digit ";"
    EXPECT_EQ(frameErrors.size(), 1u);
    EXPECT_TRUE(lastHistory().startsWith(QStringLiteral("DECODE ERROR: "))) << lastHistory().toStdString();
    feed(cableReports(kFrame));
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(pipeline->decoder().reading.ValueText, QStringLiteral("012.3"));
}

struct OtherFrameEnd {
    const char* name;
    MeterVariant variant;
    Bytes serial;
    std::string frameHex;
};

class OtherHandlers : public LinkFixture, public ::testing::WithParamInterface<OtherFrameEnd> {};

TEST_P(OtherHandlers, KeepTheLowDigitsAndDecodeNothing) {
    fake.plug(cable(1));
    start(GetParam().variant);
    link->USBConClick(true);
    TJvHidDevice* dev = link->CurrentDevice();
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(dev->OnData());
    for (const auto& r : cableReports(GetParam().serial, 3)) {
        dev->OnData()(dev, r[0], r.data() + 1, static_cast<std::uint16_t>(r.size() - 1));
    }
    EXPECT_EQ(pipeline->decoder().FrameHex, GetParam().frameHex);
    EXPECT_EQ(decoded, 0);
    EXPECT_EQ(link->UsbRxHex(), "");
}

const Bytes kSixteen{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                     0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF1, 0x02};

INSTANTIATE_TEST_SUITE_P(
    Cases, OtherHandlers,
    ::testing::Values(
        OtherFrameEnd{"ShowRead_14", MeterVariant::IFCASTEM, kSixteen, "123456789ABCDE"},
        OtherFrameEnd{"ShowRead_fewer", MeterVariant::IFCASTEM, Bytes(kSixteen.begin(), kSixteen.begin() + 5),
                      "12345"},
        OtherFrameEnd{"FENWIKShowRead_rotated", MeterVariant::IFMIRELO, kSixteen, "B123456789A"},
        OtherFrameEnd{"FENWIKShowRead_fewer", MeterVariant::IFMIRELO,
                      Bytes(kSixteen.begin(), kSixteen.begin() + 10), "123456789A"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the cable configuration ------------------------------------------------

TEST_F(LinkFixture, UsbConnectSendsTheLineSpeedOnPressAndRelease) {
    fake.plug(cable(1));
    start();
    link->USBConClick(true);
    EXPECT_TRUE(link->USBConDown());
    EXPECT_TRUE(link->serialControlsHidden());
    EXPECT_EQ(lastHistory(), QStringLiteral("60 09 00 00 03 00 00 00 00 "));
    link->USBConClick(false);
    EXPECT_FALSE(link->serialControlsHidden());
    EXPECT_EQ(serialHiddenSignals, (std::vector<bool>{true, false}));
    const Bytes expected{0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(fake.featureReports(QStringLiteral("/dev/hidraw1")), (std::vector<Bytes>{expected, expected}));
    EXPECT_EQ(link->HistoryListBox().back(), link->HistoryListBox()[link->HistoryListBox().size() - 2]);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LinkFixture, The19200VariantSendsItsSpeedAndAttachesNoHandler) {
    fake.plug(cable(1));
    start(MeterVariant::IFFENWIK);
    link->USBConClick(true);
    EXPECT_EQ(fake.featureReports(QStringLiteral("/dev/hidraw1")),
              (std::vector<Bytes>{{0x00, 0x00, 0x4B, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(lastHistory(), QStringLiteral("00 4B 00 00 03 00 00 00 00 "));
    EXPECT_TRUE(link->USBConDown());
    EXPECT_TRUE(link->serialControlsHidden());
    ASSERT_NE(link->CurrentDevice(), nullptr);
    EXPECT_FALSE(link->CurrentDevice()->OnData());
    EXPECT_FALSE(link->CurrentDevice()->HasReader());
}

TEST_F(LinkFixture, ACableWithoutReadWriteAccessSaysHowToGrantIt) {
    FakeHidDevice d = cable(1);
    d.readWrite = false;
    fake.plug(d);
    start();
    ASSERT_EQ(link->DevListBoxItemIndex(), 0) << "listed by its name all the same";
    link->USBConClick(true);
    EXPECT_FALSE(link->USBConDown());
    EXPECT_FALSE(link->serialControlsHidden());
    EXPECT_EQ(lastHistory(), QStringLiteral("OPEN ERROR: /dev/hidraw1: Permission denied (D)"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("70-velkor-usb-serial.rules")));
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("/dev/hidraw1")));
}

TEST_F(LinkFixture, ReadErrorsAreWrittenDownWithTheSystemsText) {
    start();
    link->HidCtlDeviceDataError(nullptr, ENODEV);
    EXPECT_EQ(lastHistory(), QStringLiteral("READ ERROR: No such device (13)"));
    link->HidCtlDeviceDataError(nullptr, EIO);
    EXPECT_EQ(lastHistory(), QStringLiteral("READ ERROR: Input/output error (5)"));
}

TEST_F(LinkFixture, TheHistoryKeepsTheNewestThousandLines) {
    start();
    for (int i = 0; i < 1100; ++i) {
        const Bytes d{0x01, static_cast<std::uint8_t>(i)};
        link->HALVINShowRead(nullptr, static_cast<std::uint8_t>(i >> 8), d.data(), 2);
    }
    ASSERT_EQ(link->HistoryListBox().size(), UsbCableLink::kHistoryLines);
    EXPECT_EQ(link->HistoryListBox().front(), QStringLiteral("R 00  01 64 "));
    EXPECT_EQ(lastHistory(), QStringLiteral("R 04  01 4B "));
}

// --- the watchdog count -----------------------------------------------------

TEST_F(LinkFixture, EmptyReportsCountUpForTheWatchdogUntilPayloadArrives) {
    fake.plug(cable(1));
    start();
    link->USBConClick(true);
    std::vector<Bytes> empties(1900, cableReport(0xF0));
    feed(empties);
    EXPECT_EQ(counters.EmptyReportCount, 1900);
    feed({cableReport(0xF1, {0x2B})});
    EXPECT_EQ(counters.EmptyReportCount, 0);
    feed({cableReport(0xF0)});
    EXPECT_EQ(counters.EmptyReportCount, 1);

    link->releaseByWatchdog();
    EXPECT_FALSE(link->USBConDown());
    EXPECT_TRUE(link->serialControlsHidden()) << "shown again only by the USB button";
    EXPECT_FALSE(link->CurrentDevice()->OnData());
    EXPECT_FALSE(link->CurrentDevice()->HasReader());
}

// --- the link over the reader thread ----------------------------------------

TEST_F(LinkFixture, ConnectedLinkDecodesUntilAPlugOrUnplugStallsIt) {
    const QString path = QStringLiteral("/dev/hidraw1");
    fake.plug(cable(1));
    start();
    link->USBConClick(true);
    push(path, cableReports(kFrame));
    ASSERT_TRUE(pumpUntil([&] { return decoded == 1; }));

    // Another device arrives: the rebuild detaches every handler.
    fake.plug(cable(2, u"Keyboard"));
    fake.notifyChange();
    EXPECT_EQ(link->HistoryListBox().back(), QStringLiteral("Arrival of Keyboard"));
    EXPECT_TRUE(link->USBConDown());
    EXPECT_EQ(link->DevListBoxItemIndex(), 0);
    push(path, cableReports(kMinus));
    pumpFor(100);
    EXPECT_EQ(decoded, 1) << "stalled";
    EXPECT_FALSE(fake.scriptEmpty(path));

    // Released and pressed again, it flows again.
    link->USBConClick(false);
    link->USBConClick(true);
    ASSERT_TRUE(pumpUntil([&] { return decoded == 2; }));
    EXPECT_EQ(pipeline->decoder().reading.ValueText, QStringLiteral("-1.234"));

    // The cable leaves: nothing is selected, the button stays down.
    fake.unplug(path);
    fake.notifyChange();
    EXPECT_NE(std::find(link->HistoryListBox().begin(), link->HistoryListBox().end(),
                        QStringLiteral("Removal of USB to Serial")),
              link->HistoryListBox().end());
    EXPECT_TRUE(link->USBConDown());
    EXPECT_EQ(link->DevListBoxItemIndex(), -1);
    link->USBConClick(false);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(link->serialControlsHidden()) << "the serial controls come back only with a device";
}

TEST_F(LinkFixture, AtStartupTheCableIsSelectedBeforeTheUserCanPress) {
    fake.plug(cable(1));
    start();
    EXPECT_EQ(link->DevListBoxItemIndex(), 0);
    EXPECT_EQ(ctl->NumCheckedOutDevices(), 1);
    EXPECT_FALSE(link->USBConDown());
}

} // namespace
