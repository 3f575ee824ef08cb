#include "support/EventPump.h"
#include "support/FakeHidPlatform.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/TJvHidDeviceReadThread.h"

#include <gtest/gtest.h>

#include <QThread>
#include <memory>
#include <vector>

using namespace velkor;
using velkor::test::FakeHidDevice;
using velkor::test::FakeHidPlatform;
using velkor::test::pumpFor;
using velkor::test::pumpUntil;

namespace {

const QString kPath = QStringLiteral("/dev/hidraw0");

// Starts and stops the reader of a device again and again while it reads an
// endless stream of reports: stopping never locks, a handler that was
// replaced gets no report after that except the one in flight, and no thread
// is left.
TEST(ReaderStopUnderLoad, ManyStartStopCyclesWhileReportsFlow) {
    FakeHidPlatform fake;
    fake.plug(FakeHidDevice{});
    fake.setEndlessReports(kPath, [](std::uint64_t n) {
        return std::vector<std::uint8_t>{0, 0x01, static_cast<std::uint8_t>(n)};
    });
    auto ctl = std::make_unique<TJvHidDeviceController>(fake);
    ctl->Loaded();
    ctl->DeviceChange();
    TJvHidDevice* dev = nullptr;
    ASSERT_TRUE(ctl->CheckOutByIndex(dev, 0));

    constexpr int kCycles = 240;
    std::vector<int> calls(kCycles, 0);
    int retired = -1;      // handlers up to this one were replaced
    int lateReports = 0;   // reports that reached a replaced handler
    int servedByStop = 0;  // reports in flight delivered while stopping
    bool stopping = false;

    for (int i = 0; i < kCycles; ++i) {
        const auto readsBefore = fake.readsDelivered(kPath);
        dev->setOnData([&, i](TJvHidDevice* d, std::uint8_t, const std::uint8_t*, std::uint16_t size) {
            EXPECT_EQ(size, 2);
            if (i <= retired) {
                ++lateReports;
            }
            if (stopping) {
                ++servedByStop;
            }
            // Some handlers end their own reader from inside the hand-over.
            if (++calls[i] == 2 && i % 5 == 4) {
                d->setOnData(nullptr);
            }
        });
        retired = i - 1;
        switch (i % 4) {
        case 0: // let reports flow through the event loop
            pumpUntil([&] { return calls[i] >= 3 || !dev->HasReader(); });
            break;
        case 1: // stop while a report waits for the event loop
            while (fake.readsDelivered(kPath) == readsBefore) {
                QThread::yieldCurrentThread();
            }
            QThread::usleep(500);
            break;
        case 2: // stop at once
            break;
        case 3: // the next handler replaces this one without a stop
            QCoreApplication::processEvents();
            continue;
        }
        stopping = true;
        dev->setOnData(nullptr);
        stopping = false;
        retired = i;
        EXPECT_FALSE(dev->HasReader());
    }
    pumpFor(20);
    EXPECT_EQ(lateReports, 0);
    EXPECT_GT(servedByStop, 0);

    delete dev;
    ctl.reset();
    TJvHidDeviceReadThread::stopAll();
    EXPECT_EQ(TJvHidDeviceReadThread::runningThreads(), 0);
    EXPECT_EQ(fake.openHandles(), 0);
}

} // namespace
