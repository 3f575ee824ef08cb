// The Linux HID layer on a machine that may have no HID device at all: what
// it must do with paths that are not hidraw nodes, and its watch.
#include "link/hid/linux/LinuxHidPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace velkor;

TEST(LinuxHidPlatform, ListsOnlyHidrawNodesAndRefusesOtherPaths) {
    LinuxHidPlatform platform;
    ASSERT_TRUE(platform.present());
    for (const auto& info : platform.listInterfaces()) {
        EXPECT_TRUE(info.DevicePath.startsWith(QStringLiteral("/dev/hidraw"))) << info.DevicePath.toStdString();
    }
    int error = 0;
    EXPECT_EQ(platform.open(QStringLiteral("/dev/null"), HidOpenMode::NoAccess, &error), nullptr);
    EXPECT_EQ(error, ENODEV) << "a character device that is not hidraw";
    EXPECT_EQ(platform.open(QStringLiteral("/nonexistent/hidraw0"), HidOpenMode::ReadWrite, &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform.openRead(QStringLiteral("/nonexistent/hidraw0"), &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform.openRead(QStringLiteral("/dev/null"), &error), nullptr) << "no report descriptor";
}

TEST(LinuxHidPlatform, WatchesDeviceChanges) {
    LinuxHidPlatform platform;
    auto watch = platform.watch([] {});
    EXPECT_NE(watch, nullptr);
}
