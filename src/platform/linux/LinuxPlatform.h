#pragma once

#include "platform/linux/ComPortNames.h"
#include "platform/linux/LinuxHidPlatform.h"
#include "platform/linux/PosixSerialSystem.h"
#include "platform/linux/SystemClock.h"
#include "platform/linux/SystemLocaleSource.h"

namespace velkor {

// The machine's own facilities, gathered for a program's main(): the clock,
// the user's locale, the serial system calls and what COM1 to COM4 name, and
// the HID system.
struct LinuxPlatform {
    SystemClock clock;
    SystemLocaleSource locale;
    PosixSerialSystem& serial = PosixSerialSystem::instance();
    ComPortNames portNames;
    LinuxHidPlatform hid;
};

} // namespace velkor
