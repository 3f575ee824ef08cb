#include "meter/Marks.h"

#include <array>

namespace velkor {

std::string_view markName(Mark m) {
    static constexpr std::array<std::string_view, kMarkCount> kNames = {
        "LcdDc1", "LcdV",   "LcdAC",  "LCDHold", "LCDHz", "LCDBF",  "LCDDI", "LCDFm",
        "LCDCS",  "LCDFS",  "LCDREL", "LCDBATT", "LCDn",  "LCDohm", "LcdFH", "LcdAuto",
        "Labmax", "Labmin", "LcdRPM", "LCDBT",   "LCDk",  "LCDM1",  "LCDu",  "Lcdm",
        "LCDF",   "LCDA",   "EF",     "LcdP1",   "LcdP2", "LcdP3",
    };
    return kNames[static_cast<std::size_t>(m)];
}

std::string_view markNames(MarkSet shown, MarkNamesBuffer& buffer) {
    std::size_t n = 0;
    for (int i = 0; i < kMarkCount; ++i) {
        const auto m = static_cast<Mark>(i);
        if (shown.has(m)) {
            if (n > 0) {
                buffer[n++] = ' ';
            }
            const std::string_view name = markName(m);
            name.copy(buffer.data() + n, name.size());
            n += name.size();
        }
    }
    return std::string_view(buffer.data(), n);
}

} // namespace velkor
