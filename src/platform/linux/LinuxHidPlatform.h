#pragma once

#include "platform/HidPlatform.h"

struct udev;

namespace velkor {

// HID devices on Linux: the hidraw nodes, found and watched through libudev.
//
// Identity, attributes and strings come from sysfs (the hid device and its
// USB parent), so every HID interface can be listed and named without
// opening its node; only reading and feature reports need the node opened
// for reading and writing, which the udev rule in packaging/udev grants for
// the cable. The language list (string descriptor 0) is not available:
// sysfs has a serial number only when the device declares one.
class LinuxHidPlatform final : public HidPlatform {
public:
    LinuxHidPlatform();
    ~LinuxHidPlatform() override;

    LinuxHidPlatform(const LinuxHidPlatform&) = delete;
    LinuxHidPlatform& operator=(const LinuxHidPlatform&) = delete;

    bool present() const override { return udev_ != nullptr; }
    std::vector<HidInterfaceInfo> listInterfaces() override;
    std::unique_ptr<HidHandle> open(const QString& devicePath, HidOpenMode mode,
                                    int* error) override;
    std::unique_ptr<HidReadHandle> openRead(const QString& devicePath, int* error) override;
    // A libudev monitor on hidraw events; from udevd when it runs, otherwise
    // straight from the kernel.
    std::unique_ptr<HidDeviceWatch> watch(std::function<void()> onChange) override;

    // The reading side over an open, non-blocking descriptor of a node (it
    // takes the descriptor over); numbered: reports begin with their ID.
    static std::unique_ptr<HidReadHandle> readHandleOn(int fd, bool numbered, int* error);

private:
    struct udev* udev_;
};

} // namespace velkor
