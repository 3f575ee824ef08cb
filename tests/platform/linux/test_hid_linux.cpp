// The Linux HID layer on a machine that may have no HID device at all: what
// it must do with paths that are not hidraw nodes, and its watch.
#include "platform/linux/LinuxHidPlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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

// The read side over a pipe in place of a hidraw node: reports as the node
// gives them, with the report ID byte put in front for unnumbered devices.
struct ReadCase {
    const char* name;
    bool numbered;
    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> expected;
};

class LinuxReadHandle : public ::testing::TestWithParam<ReadCase> {};

TEST_P(LinuxReadHandle, GivesReportsWithTheirIdFirst) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    int error = 0;
    auto handle = LinuxHidPlatform::readHandleOn(fds[0], GetParam().numbered, &error);
    ASSERT_NE(handle, nullptr);
    std::array<std::uint8_t, 9> buffer{};
    EXPECT_EQ(handle->read(buffer.data(), buffer.size(), 10).kind, HidReadHandle::Result::Idle);

    const auto& w = GetParam().written;
    ASSERT_EQ(::write(fds[1], w.data(), w.size()), static_cast<ssize_t>(w.size()));
    const auto r = handle->read(buffer.data(), buffer.size(), 1000);
    ASSERT_EQ(r.kind, HidReadHandle::Result::Report);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + r.bytes), GetParam().expected);

    handle->wake();
    EXPECT_EQ(handle->read(buffer.data(), buffer.size(), 60000).kind, HidReadHandle::Result::Idle)
        << "woken at once";
    ::close(fds[1]);
    const auto gone = handle->read(buffer.data(), buffer.size(), 1000);
    EXPECT_EQ(gone.kind, HidReadHandle::Result::Failed) << "a node that hung up fails";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinuxReadHandle,
    ::testing::Values(ReadCase{"unnumbered", false, {0xF2, 0x2B, 0x30, 0, 0, 0, 0, 0},
                               {0x00, 0xF2, 0x2B, 0x30, 0, 0, 0, 0, 0}},
                      ReadCase{"numbered", true, {0x05, 0xF1, 0x41}, {0x05, 0xF1, 0x41}}),
    [](const auto& info) { return std::string(info.param.name); });
