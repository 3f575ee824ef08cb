#include "support/EventPump.h"
#include "support/FakeHidPlatform.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/TJvHidDeviceReadThread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace velkor;
using velkor::test::FakeHidDevice;
using velkor::test::FakeHidPlatform;
using velkor::test::pumpFor;
using velkor::test::pumpUntil;

namespace {

const QString kPath = QStringLiteral("/dev/hidraw0");

// One device, listed by a controller and checked out.
struct DeviceFixture : ::testing::Test {
    FakeHidPlatform fake;
    std::unique_ptr<TJvHidDeviceController> ctl;
    TJvHidDevice* dev = nullptr;

    void start(const FakeHidDevice& d = FakeHidDevice{}) {
        fake.plug(d);
        ctl = std::make_unique<TJvHidDeviceController>(fake);
        ctl->Loaded();
        ctl->DeviceChange();
        ASSERT_TRUE(ctl->CheckOutByIndex(dev, 0));
    }

    void TearDown() override {
        delete dev;
        ctl.reset();
        EXPECT_EQ(fake.openHandles(), 0);
    }
};

struct SerialCase {
    const char* name;
    std::optional<std::u16string> serial;
    std::optional<std::vector<char16_t>> languages;
    bool languageListSupported;
    QString expected;
};

class SerialNumberRule : public DeviceFixture, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(SerialNumberRule, ReadsTheSerialNumberUnlessItIsTheLanguageList) {
    FakeHidDevice d;
    d.serialString = GetParam().serial;
    d.languages = GetParam().languages;
    d.languageListSupported = GetParam().languageListSupported;
    start(d);
    EXPECT_EQ(dev->SerialNumber(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialNumberRule,
    ::testing::Values(
        SerialCase{"real", u"A1B2", {{0x0409}}, true, QStringLiteral("A1B2")},
        SerialCase{"equal_to_language_list", std::u16string{char16_t{0x0409}}, {{0x0409}}, true,
                   QString()},
        SerialCase{"equal_to_two_languages", std::u16string{char16_t{0x0409}, char16_t{0x0411}},
                   {{0x0409, 0x0411}}, true, QString()},
        SerialCase{"starts_like_the_list", std::u16string{char16_t{0x0409}, u'7'}, {{0x0409, 0x0411}},
                   true, QStringLiteral("\u04097")},
        SerialCase{"no_serial", std::nullopt, {{0x0409}}, true, QString()},
        SerialCase{"language_list_unreadable", u"A1B2", std::nullopt, true, QString()},
        SerialCase{"no_language_list_on_this_system", u"A1B2", std::nullopt, false,
                   QStringLiteral("A1B2")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceFixture, IdentityIsReadOnlyWhileAccessibleAndKept) {
    fake.plug(FakeHidDevice{});
    ctl = std::make_unique<TJvHidDeviceController>(fake);
    ctl->Loaded();
    ctl->DeviceChange();
    TJvHidDevice* listed = ctl->List()[0];
    EXPECT_EQ(listed->ProductName(), QString()) << "checked in and not enumerated";
    EXPECT_EQ(listed->Attributes().VendorID, 0x1A86) << "attributes are read at creation";
    EXPECT_EQ(listed->Attributes().Size, 12u);

    ASSERT_TRUE(ctl->CheckOutByIndex(dev, 0));
    EXPECT_EQ(dev->ProductName(), QStringLiteral("USB to Serial"));
    fake.update(kPath, [](FakeHidDevice& d) { d.productString = u"Other"; });
    EXPECT_EQ(dev->ProductName(), QStringLiteral("USB to Serial"));
    EXPECT_EQ(fake.openHandles(), 0);
}

TEST_F(DeviceFixture, WithoutReadWriteAccessNoReaderStarts) {
    FakeHidDevice d;
    d.readWrite = false;
    start(d);
    EXPECT_FALSE(dev->HasReadWriteAccess());
    EXPECT_EQ(dev->ReadWriteError(), EACCES);
    EXPECT_EQ(dev->ProductName(), QStringLiteral("USB to Serial")) << "identity without access";
    dev->setOnData([](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
    EXPECT_FALSE(dev->HasReader());
    EXPECT_EQ(fake.readOpens(kPath), 0);
}

TEST_F(DeviceFixture, SetFeatureSendsTheBytesAndKeepsTheHandleOpen) {
    start();
    const std::uint8_t report[10] = {0, 0x60, 0x09, 0, 0, 3, 0, 0, 0, 0};
    EXPECT_TRUE(dev->SetFeature(report, 10));
    EXPECT_EQ(fake.featureReports(kPath),
              (std::vector<std::vector<std::uint8_t>>{{0, 0x60, 0x09, 0, 0, 3, 0, 0, 0, 0}}));
    EXPECT_EQ(fake.openHandles(), 1);
    fake.unplug(kPath);
    EXPECT_FALSE(dev->SetFeature(report, 10));
}

struct Delivery {
    std::uint8_t reportId;
    std::vector<std::uint8_t> data;
};

TEST_F(DeviceFixture, AReadOfNBytesDeliversSizeNMinusOne) {
    start();
    std::vector<Delivery> got;
    dev->setOnData([&](TJvHidDevice* d, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        EXPECT_EQ(d, dev);
        got.push_back({id, std::vector<std::uint8_t>(data, data + size)});
    });
    ASSERT_TRUE(dev->HasReader());
    fake.pushReport(kPath, {0x00, 0xF2, 0x2B, 0x30, 0, 0, 0, 0, 0});
    fake.pushReport(kPath, {0x05});
    fake.pushReport(kPath, {});                     // a completed read of 0 bytes
    fake.pushReport(kPath, {0x07, 0xF1, 0x41});     // a short report
    ASSERT_TRUE(pumpUntil([&] { return got.size() == 3 && fake.scriptEmpty(kPath); }));
    pumpFor(30);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].reportId, 0x00);
    EXPECT_EQ(got[0].data, (std::vector<std::uint8_t>{0xF2, 0x2B, 0x30, 0, 0, 0, 0, 0}));
    EXPECT_EQ(got[1].reportId, 0x05);
    EXPECT_TRUE(got[1].data.empty());
    EXPECT_EQ(got[2].data, (std::vector<std::uint8_t>{0xF1, 0x41}));
}

TEST_F(DeviceFixture, AReadErrorGoesToOnDataErrorAndReadingGoesOn) {
    start();
    std::vector<std::uint32_t> errors;
    int reports = 0;
    dev->setOnDataError([&](TJvHidDevice*, std::uint32_t e) { errors.push_back(e); });
    dev->setThreadSleepTime(5);
    dev->setOnData([&](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++reports; });
    fake.pushReadError(kPath, EIO);
    fake.pushReport(kPath, {0, 1, 2});
    ASSERT_TRUE(pumpUntil([&] { return reports == 1; }));
    EXPECT_EQ(errors, std::vector<std::uint32_t>{EIO});
}

TEST_F(DeviceFixture, AFailureInTheHandlerEndsTheReaderUntilTheHandlerIsSetAgain) {
    start();
    int calls = 0;
    dev->setOnData([&](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++calls;
        throw std::runtime_error("handler failed");
    });
    for (int i = 0; i < 3; ++i) {
        fake.pushReport(kPath, {0, 1});
    }
    ASSERT_TRUE(pumpUntil([&] { return calls == 1; }));
    pumpFor(50);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(fake.scriptEmpty(kPath)) << "the ended reader reads no more";
    EXPECT_TRUE(dev->HasReader()) << "an ended reader stays until the handler is cleared";

    int later = 0;
    dev->setOnData(nullptr);
    EXPECT_FALSE(dev->HasReader());
    dev->setOnData([&](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++later; });
    ASSERT_TRUE(pumpUntil([&] { return later == 2; }));
}

TEST_F(DeviceFixture, ClearingTheHandlerServesTheReportInFlight) {
    start();
    int calls = 0;
    dev->setOnData([&](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++calls; });
    fake.pushReport(kPath, {0, 1});
    // The reader takes the report and waits for the user-interface thread,
    // which does not turn its event loop before clearing the handler.
    while (!fake.scriptEmpty(kPath)) {
        QThread::usleep(100);
    }
    QThread::msleep(20);
    dev->setOnData(nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(dev->HasReader());
    pumpFor(20);
    EXPECT_EQ(calls, 1);
}

TEST_F(DeviceFixture, AHandlerMayClearItsOwnDevicesHandler) {
    start();
    int calls = 0;
    dev->setOnData([&](TJvHidDevice* d, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++calls;
        d->setOnData(nullptr);
    });
    fake.pushReport(kPath, {0, 1});
    fake.pushReport(kPath, {0, 2});
    ASSERT_TRUE(pumpUntil([&] { return calls == 1 && !dev->HasReader(); }));
    ASSERT_TRUE(pumpUntil([] { return TJvHidDeviceReadThread::runningThreads() == 0; }));
    EXPECT_EQ(calls, 1);
}

TEST_F(DeviceFixture, AnUnpluggedDeviceFailsItsReadsUntilReleased) {
    start();
    std::vector<std::uint32_t> errors;
    dev->setThreadSleepTime(5);
    dev->setOnDataError([&](TJvHidDevice*, std::uint32_t e) { errors.push_back(e); });
    dev->setOnData([](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
    ASSERT_TRUE(pumpUntil([&] { return fake.readOpens(kPath) == 1; }));
    fake.unplug(kPath);
    ASSERT_TRUE(pumpUntil([&] { return errors.size() >= 2; }));
    EXPECT_EQ(errors[0], static_cast<std::uint32_t>(ENODEV));
}

} // namespace
