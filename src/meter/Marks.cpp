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

} // namespace velkor
