#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// Status bits of the meter frame, by byte (see the table in FrameDecoder.cpp).
namespace status1 {
inline constexpr std::uint8_t Auto = 0x20, DC = 0x10, AC = 0x08, Rel = 0x04, Hold = 0x02;
}
namespace status2 {
inline constexpr std::uint8_t Row6v = 0x80, Max = 0x20, Min = 0x10, Battery = 0x04, Nano = 0x02;
}
namespace status3 {
inline constexpr std::uint8_t Micro = 0x80, Milli = 0x40, Kilo = 0x20, Mega = 0x10,
                              Continuity = 0x08, Diode = 0x04, Percent = 0x02;
}
namespace status4 {
inline constexpr std::uint8_t Volt = 0x80, Ampere = 0x40, Ohm = 0x20, Hertz = 0x08, Farad = 0x04,
                              Celsius = 0x02, Fahrenheit = 0x01;
}

// What a meter sends for one display: the 14 bytes ending in CR LF.
struct MeterFrame {
    bool negative = false;
    std::array<char, 4> digits{'0', '0', '0', '0'}; // ASCII digits
    bool overload = false;                          // digit 1 byte becomes 3F
    int point = 0;                                  // 0 none, 1-3 after digit 1-3
    std::array<std::uint8_t, 4> status{};

    std::array<std::uint8_t, 14> bytes() const;
    // Upper-case hex text of the first 13 bytes, as the serial path hands it on.
    std::string frameHex() const;
};

// Parses "1.234", "-0012", "0L" style display text into frame digits and point.
MeterFrame meterFrame(const std::string& display, std::array<std::uint8_t, 4> status);

// Nibble-coded frame of the IFCASTEM meter: 14 bytes, high nibble 1..E.
std::array<std::uint8_t, 14> nibbleFrame(const std::array<std::uint8_t, 14>& lowNibbles);

} // namespace velkor
