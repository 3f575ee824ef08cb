#include "link/serial/ComPortTypes.h"

#include <array>

namespace velkor {

namespace {
constexpr std::array<int, 13> kBauds = {110,   300,   600,   1200,  2400,  4800,  9600,
                                        14400, 19200, 38400, 56000, 57600, 115200};
} // namespace

int baudOf(TComPortBaudRate rate) {
    return kBauds.at(rate);
}

TComPortBaudRate baudRateOf(int baud, bool* found) {
    for (std::size_t i = 0; i < kBauds.size(); ++i) {
        if (kBauds[i] == baud) {
            if (found) {
                *found = true;
            }
            return static_cast<TComPortBaudRate>(i);
        }
    }
    if (found) {
        *found = false;
    }
    return br9600;
}

const char* comPortName(TComPortNumber port) {
    static constexpr const char* kNames[] = {"COM1", "COM2", "COM3", "COM4"};
    return kNames[port & 3];
}

} // namespace velkor
