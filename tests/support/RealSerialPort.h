#pragma once

#include "link/serial/TCommPortDriver.h"
#include "platform/linux/ComPortNames.h"
#include "platform/linux/PosixSerialSystem.h"
#include "platform/linux/SystemClock.h"

namespace velkor::test {

// A port driver on the machine's own serial calls, clock and COM port
// names, as the programs make it.
struct RealSerialPort {
    SystemClock clock;
    ComPortNames names;
    TCommPortDriver port{PosixSerialSystem::instance(), clock, names};
};

} // namespace velkor::test
