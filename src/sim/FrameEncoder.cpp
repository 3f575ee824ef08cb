#include "sim/FrameEncoder.h"

namespace velkor {

std::array<std::uint8_t, 14> MeterFrame::bytes() const {
    std::array<std::uint8_t, 14> b{};
    b[0] = negative ? 0x2D : 0x2B;
    for (int i = 0; i < 4; ++i) {
        b[static_cast<std::size_t>(1 + i)] =
            static_cast<std::uint8_t>(digits[static_cast<std::size_t>(i)]);
    }
    if (overload) {
        b[1] = 0x3F;
    }
    b[5] = 0x20;
    b[6] = point == 1 ? '1' : point == 2 ? '2' : point == 3 ? '4' : '0';
    for (int i = 0; i < 4; ++i) {
        b[static_cast<std::size_t>(7 + i)] = status[static_cast<std::size_t>(i)];
    }
    b[11] = 0x00;
    b[12] = 0x0D;
    b[13] = 0x0A;
    return b;
}

std::string MeterFrame::frameHex() const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto b = bytes();
    std::string s;
    for (std::size_t i = 0; i < 13; ++i) {
        s += kHex[b[i] >> 4];
        s += kHex[b[i] & 0xF];
    }
    return s;
}

MeterFrame meterFrame(const std::string& display, std::array<std::uint8_t, 4> status) {
    MeterFrame f;
    f.status = status;
    std::size_t i = 0;
    if (i < display.size() && display[i] == '-') {
        f.negative = true;
        ++i;
    }
    if (display.find('L') != std::string::npos) {
        f.overload = true;
        f.digits = {'?', '0', '0', '0'};
        return f;
    }
    int n = 0;
    for (; i < display.size() && n < 4; ++i) {
        const char c = display[i];
        if (c == '.') {
            f.point = n;
        } else {
            f.digits[static_cast<std::size_t>(n++)] = c;
        }
    }
    return f;
}

std::array<std::uint8_t, 14> nibbleFrame(const std::array<std::uint8_t, 14>& lowNibbles) {
    std::array<std::uint8_t, 14> b{};
    for (std::size_t i = 0; i < 14; ++i) {
        b[i] = static_cast<std::uint8_t>(((i + 1) << 4) | (lowNibbles[i] & 0xF));
    }
    return b;
}

} // namespace velkor
