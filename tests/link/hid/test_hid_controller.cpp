#include "support/EventPump.h"
#include "support/FakeHidPlatform.h"
#include "support/HidTestDevices.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace velkor;
using velkor::test::FakeHidDevice;
using velkor::test::FakeHidPlatform;

namespace {

FakeHidDevice device(std::uint32_t id, std::u16string product) {
    return velkor::test::hidDevice(id, std::move(product));
}

// A controller whose events are written down as text, e.g. "arrival 1".
struct ControllerFixture : ::testing::Test {
    FakeHidPlatform fake;
    std::unique_ptr<TJvHidDeviceController> ctl;
    std::vector<std::string> events;
    std::vector<std::string> errors;

    static std::string id(TJvHidDevice* d) { return std::to_string(d->PnPInfo().DeviceID); }

    void start() {
        ctl = std::make_unique<TJvHidDeviceController>(fake);
        ctl->OnArrival = [this](TJvHidDevice* d) {
            EXPECT_TRUE(d->IsEnumerated());
            events.push_back("arrival " + id(d));
        };
        ctl->OnRemoval = [this](TJvHidDevice* d) {
            EXPECT_TRUE(d->IsEnumerated());
            events.push_back("removal " + id(d));
        };
        ctl->setOnDeviceUnplug([this](TJvHidDevice* d) { events.push_back("unplug " + id(d)); });
        ctl->setOnDeviceChange([this](TJvHidDeviceController*) { events.push_back("change"); });
        ctl->OnNotificationError = [this](const std::exception& e) { errors.push_back(e.what()); };
        ctl->Loaded();
        ASSERT_TRUE(events.empty()) << "handlers bound while loading run no pass";
        QCoreApplication::processEvents(); // the first pass is posted
    }

    // What the device-change notice does.
    std::vector<std::string> pass() {
        events.clear();
        fake.notifyChange();
        return events;
    }

    std::vector<std::uint32_t> listedIds() const {
        std::vector<std::uint32_t> ids;
        for (auto* d : ctl->List()) {
            ids.push_back(d->PnPInfo().DeviceID);
        }
        return ids;
    }

    TJvHidDevice* checkOut(int idx) {
        TJvHidDevice* d = nullptr;
        EXPECT_TRUE(ctl->CheckOutByIndex(d, idx));
        return d;
    }
};

using V = std::vector<std::string>;

TEST_F(ControllerFixture, FirstPassReportsEveryDeviceInOrderAndEndsWithDeviceChange) {
    fake.plug(device(7, u"Keyboard"));
    fake.plug(device(3, u"USB to Serial"));
    start();
    EXPECT_EQ(events, (V{"arrival 7", "arrival 3", "change"}));
    EXPECT_EQ(ctl->NumCheckedInDevices(), 2);
    EXPECT_EQ(ctl->NumCheckedOutDevices(), 0);
    EXPECT_EQ(fake.openHandles(), 0) << "no handle stays open for checked-in devices";
}

TEST_F(ControllerFixture, FirstPassWithoutDevicesStillEndsWithDeviceChange) {
    start();
    EXPECT_EQ(events, V{"change"});
}

TEST_F(ControllerFixture, APassWithoutChangeReportsNothing) {
    fake.plug(device(1, u"A"));
    start();
    EXPECT_EQ(pass(), V{});
    EXPECT_EQ(listedIds(), std::vector<std::uint32_t>{1}) << "the fresh duplicate was dropped";
}

TEST_F(ControllerFixture, NoHidSystemMeansNoPassAndAnEmptyList) {
    fake.available = false;
    fake.plug(device(1, u"A"));
    start();
    EXPECT_EQ(events, V{});
    EXPECT_TRUE(ctl->List().empty());
    EXPECT_EQ(fake.watchers(), 0);
}

TEST_F(ControllerFixture, CheckedOutDeviceRemovedStaysListedUntilReleased) {
    fake.plug(device(1, u"A"));
    fake.plug(device(2, u"B"));
    start();
    TJvHidDevice* a = checkOut(0);
    fake.unplug(a->PnPInfo().DevicePath);

    EXPECT_EQ(pass(), (V{"unplug 1", "removal 1", "change"}));
    EXPECT_EQ(listedIds(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_FALSE(a->IsPluggedIn());
    EXPECT_EQ(ctl->NumUnpluggedDevices(), 1);
    EXPECT_EQ(ctl->NumCheckedOutDevices(), 0);

    EXPECT_EQ(pass(), (V{"removal 1", "change"})) << "reported again, OnUnplug only once";

    delete a; // the application releases it
    EXPECT_EQ(listedIds(), std::vector<std::uint32_t>{2});
    EXPECT_EQ(pass(), V{});
}

TEST_F(ControllerFixture, CheckedInDeviceRemovedLeavesTheListAtOnce) {
    fake.plug(device(1, u"A"));
    fake.plug(device(2, u"B"));
    start();
    fake.unplug(QStringLiteral("/dev/hidraw1"));
    EXPECT_EQ(pass(), (V{"unplug 1", "removal 1", "change"}));
    EXPECT_EQ(listedIds(), std::vector<std::uint32_t>{2});
}

TEST_F(ControllerFixture, RemovalsComeBeforeArrivalsAndAReturningDeviceIsNew) {
    fake.plug(device(1, u"A"));
    fake.plug(device(2, u"B"));
    start();
    fake.unplug(QStringLiteral("/dev/hidraw1"));
    fake.unplug(QStringLiteral("/dev/hidraw2"));
    FakeHidDevice back = device(1, u"A");
    back.DeviceID = 9; // plugged in again: a new identity
    fake.plug(back);
    fake.plug(device(5, u"C"));
    EXPECT_EQ(pass(), (V{"unplug 2", "removal 2", "unplug 1", "removal 1", "arrival 9",
                         "arrival 5", "change"}));
    EXPECT_EQ(listedIds(), (std::vector<std::uint32_t>{9, 5}));
}

TEST_F(ControllerFixture, DestroyingCheckedOutPluggedDeviceLeavesACheckedInOneAtItsIndex) {
    fake.plug(device(1, u"A"));
    fake.plug(device(2, u"B"));
    fake.plug(device(3, u"C"));
    start();
    TJvHidDevice* b = checkOut(1);
    EXPECT_EQ(ctl->NumCheckedOutDevices(), 1);
    delete b;
    EXPECT_EQ(listedIds(), (std::vector<std::uint32_t>{1, 2, 3}));
    TJvHidDevice* again = ctl->List()[1];
    EXPECT_FALSE(again->IsCheckedOut());
    EXPECT_EQ(ctl->NumCheckedOutDevices(), 0);
    EXPECT_EQ(ctl->NumCheckedInDevices(), 3);

    std::vector<std::pair<std::uint32_t, int>> seen;
    ctl->OnEnumerate = [&](TJvHidDevice* d, int idx) {
        seen.emplace_back(d->PnPInfo().DeviceID, idx);
        return true;
    };
    EXPECT_EQ(ctl->Enumerate(), 3);
    EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, int>>{{1, 0}, {2, 1}, {3, 2}}));
    EXPECT_EQ(pass(), V{});
}

TEST_F(ControllerFixture, EnumerateSkipsUnpluggedDevicesAndStopsAtFalse) {
    for (std::uint32_t i = 1; i <= 3; ++i) {
        fake.plug(device(i, u"D"));
    }
    start();
    TJvHidDevice* first = checkOut(0);
    fake.unplug(first->PnPInfo().DevicePath);
    pass();

    std::vector<int> seen;
    ctl->OnEnumerate = [&](TJvHidDevice* d, int idx) {
        EXPECT_TRUE(d->IsEnumerated());
        seen.push_back(idx);
        return idx < 2;
    };
    EXPECT_EQ(ctl->Enumerate(), 2);
    EXPECT_EQ(seen, (std::vector<int>{1, 2})) << "the unplugged entry keeps index 0";

    seen.clear();
    ctl->OnEnumerate = [&](TJvHidDevice*, int idx) {
        seen.push_back(idx);
        return false;
    };
    EXPECT_EQ(ctl->Enumerate(), 1);
    ctl->OnEnumerate = nullptr;
    EXPECT_EQ(ctl->Enumerate(), 1) << "without a handler the walk stops after the first";
    EXPECT_EQ(fake.openHandles(), 0);
    delete first;
}

TEST_F(ControllerFixture, CheckOutOutsideTheListOrTwiceGivesNothing) {
    fake.plug(device(1, u"A"));
    start();
    TJvHidDevice* d = reinterpret_cast<TJvHidDevice*>(&fake); // must be overwritten
    EXPECT_FALSE(ctl->CheckOutByIndex(d, 1));
    EXPECT_EQ(d, nullptr);
    EXPECT_FALSE(ctl->CheckOutByIndex(d, -1));
    TJvHidDevice* a = checkOut(0);
    EXPECT_FALSE(ctl->CheckOutByIndex(d, 0));
    EXPECT_EQ(d, nullptr);
    ctl->CheckIn(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(ctl->NumCheckedInDevices(), 1);
    EXPECT_TRUE(ctl->CheckOutByIndex(d, 0));
    delete d;
}

TEST_F(ControllerFixture, ANewDeviceInALaterPassArrivesAtTheEnd) {
    fake.plug(device(1, u"A"));
    start();
    fake.plug(device(2, u"B"));
    EXPECT_EQ(pass(), (V{"arrival 2", "change"}));
    EXPECT_EQ(listedIds(), (std::vector<std::uint32_t>{1, 2}));
}

struct CreationFailure {
    const char* name;
    void (*spoil)(FakeHidDevice&);
    const char* message;
};

class ControllerCreationFailure : public ControllerFixture,
                                  public ::testing::WithParamInterface<CreationFailure> {};

TEST_P(ControllerCreationFailure, EndsThePassAndLeavesTheControllerReady) {
    fake.plug(device(1, u"A"));
    start();
    FakeHidDevice bad = device(2, u"B");
    GetParam().spoil(bad);
    fake.plug(bad);
    fake.plug(device(3, u"C"));

    EXPECT_EQ(pass(), V{});
    EXPECT_EQ(errors, std::vector<std::string>{GetParam().message});
    EXPECT_EQ(listedIds(), std::vector<std::uint32_t>{1}) << "the list is as before the pass";
    EXPECT_FALSE(ctl->InDeviceChange());
    EXPECT_EQ(fake.openHandles(), 0);

    fake.update(bad.path, [](FakeHidDevice& d) { d = device(2, u"B"); });
    EXPECT_EQ(pass(), (V{"arrival 2", "arrival 3", "change"}));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ControllerCreationFailure,
    ::testing::Values(
        CreationFailure{"cannot_be_opened", [](FakeHidDevice& d) { d.openable = false; },
                        "Device cannot be opened"},
        CreationFailure{"cannot_be_identified", [](FakeHidDevice& d) { d.identifiable = false; },
                        "Device cannot be identified"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerFixture, ANotificationDuringAPassIsAnsweredByOneMorePass) {
    fake.plug(device(1, u"A"));
    start();
    fake.plug(device(2, u"B"));
    ctl->OnArrival = [this](TJvHidDevice* d) {
        events.push_back("arrival " + id(d));
        if (d->PnPInfo().DeviceID == 2) { // a handler that turns the event loop
            fake.plug(device(3, u"C"));
            fake.notifyChange();
        }
    };
    EXPECT_EQ(pass(), (V{"arrival 2", "change"}));
    events.clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(events, (V{"arrival 3", "change"}));
}

TEST_F(ControllerFixture, AssigningANewDeviceChangeHandlerAfterLoadingRunsAPass) {
    fake.plug(device(1, u"A"));
    start();
    EXPECT_EQ(pass(), V{});
    ctl->setOnDeviceChange([this](TJvHidDeviceController*) { events.push_back("other"); });
    EXPECT_EQ(events, V{}) << "nothing changed";
    fake.plug(device(2, u"B"));
    ctl->setOnDeviceChange([this](TJvHidDeviceController*) { events.push_back("third"); });
    EXPECT_EQ(events, (V{"arrival 2", "third"}));
}

TEST_F(ControllerFixture, ANewControllerHandlerReplacesOnlyTheOldOneOnDevices) {
    fake.plug(device(1, u"A"));
    fake.plug(device(2, u"B"));
    start();
    const TJvHidDataErrorEvent own = [](TJvHidDevice*, std::uint32_t) {};
    ctl->List()[1]->setOnDataError(own);
    const TJvHidDataErrorEvent shared = [](TJvHidDevice*, std::uint32_t) {};
    ctl->setOnDeviceDataError(shared);
    EXPECT_TRUE(ctl->List()[0]->OnDataError() == shared);
    EXPECT_TRUE(ctl->List()[1]->OnDataError() == own);
}

TEST_F(ControllerFixture, DestroyingTheControllerUnplugsCheckedOutDevicesAndFreesTheRest) {
    fake.plug(device(1, u"A"));
    fake.plug(device(2, u"B"));
    start();
    TJvHidDevice* a = checkOut(0);
    ctl.reset();
    EXPECT_FALSE(a->IsPluggedIn());
    EXPECT_EQ(a->MyController(), nullptr);
    EXPECT_EQ(fake.watchers(), 0);
    delete a;
}

} // namespace
