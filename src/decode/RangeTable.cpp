#include "decode/RangeTable.h"

#include <array>

namespace velkor {

namespace {

using T = RangeRow::Tri;
using P = RangeRow::Point;

// name, limit, factor, function, unit, point, AC mark, k mark, M mark,
// continuity mark, bit 77, bit 65
const std::array<RangeRow, 45> kRows = {{
    {"6v", 6, 0.001, nullptr, nullptr, P::P1, T::On},
    {"60v", 60, 0.01, nullptr, nullptr, P::P2, T::On},
    {"600v", 600, 0.1, nullptr, nullptr, P::P3, T::On},
    {"750v", 750, 1, nullptr, nullptr, P::None, T::On},
    {"600mv", 600, 0.1, "DC", "mV"},
    {"6v", 6, 0.001, "DC", "V", P::P1},
    {"60v", 60, 0.01, "DC", "V", P::P2},
    {"600v", 600, 0.1, "DC", "V", P::P3},
    {"1000v", 1000, 1, "DC", nullptr, P::None},
    {"40nF", 40, 0.01, "CAP", "nF"},
    {"400nF", 400, 0.1, "CAP", "nF", P::P3},
    {"4uF", 4, 0.001, "CAP", "uF", P::P1},
    {"40uF", 40, 0.01, "CAP", "uF", P::P2},
    {"400uF", 400, 0.1, "CAP", "uF", P::P3},
    {"4000uF", 4000, 1, "CAP", nullptr, P::None},
    {"60*", 60, 0.1, nullptr, nullptr, P::Any, T::Any, T::Any, T::Any, T::Any, T::On},
    {"600*", 600, 0.1, "OHM", "*", P::P3, T::Any, T::Any, T::Any, T::Off},
    {"6k*", 6, 0.001, "OHM", "k*", P::P1},
    {"60k*", 60, 0.01, "OHM", "k*", P::P2},
    {"600k*", 600, 0.1, "OHM", "k*", P::P3},
    {"6M*", 6, 0.001, "OHM", "M*", P::P1},
    {"60M*", 60, 0.01, "OHM", "M*", P::P2},
    {"6v", 6, 0.001, nullptr, nullptr, P::Any, T::Any, T::Any, T::Any, T::Any, T::Any, T::On},
    {"1000#", 1000, 1, nullptr, "#"},
    {"1832?", 1832, 1, nullptr, "?"},
    {"10Hz", 10, 0.001, "Freq", "Hz", P::P1, T::Any, T::Off, T::Off},
    {"100Hz", 100, 0.01, "Freq", "Hz", P::P2, T::Any, T::Off, T::Off},
    {"1kHz", 1000, 0.1, "Freq", "Hz", P::P3, T::Any, T::Off, T::Off},
    {"10kHz", 10, 0.001, "Freq", "Hz", P::P1, T::Any, T::On, T::Off},
    {"100kHz", 100, 0.01, "Freq", "Hz", P::P2, T::Any, T::On, T::Off},
    {"1MHz", 1000, 0.1, "Freq", "Hz", P::P3, T::Any, T::On, T::Off},
    {"10MHz", 10, 0.001, "Freq", "Hz", P::P1, T::Any, T::Off, T::On},
    {"100%", 100, 0.1, nullptr, "%"},
    {"600uA", 600, 0.1, "DC", "uA", P::P3},
    {"6000uA", 6000, 1, "DC", "uA", P::None},
    {"600uA", 600, 0.1, "AC", "uA", P::P3},
    {"6000uA", 6000, 1, "AC", "uA", P::None},
    {"60mA", 60, 0.01, "DC", "mA", P::P2},
    {"600mA", 600, 0.1, "DC", "mA", P::P3},
    {"60mA", 60, 0.01, "AC", "mA", P::P2},
    {"600mA", 600, 0.1, "AC", "mA", P::P3},
    {"6A", 6, 0.001, "DC", "A", P::P1},
    {"10A", 10, 0.01, "DC", "A", P::P2},
    {"6A", 6, 0.001, "AC", "A", P::P1},
    {"10A", 10, 0.01, "AC", "A", P::P2},
}};

} // namespace

std::span<const RangeRow> rangeTable() {
    return kRows;
}

} // namespace velkor
