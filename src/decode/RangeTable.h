#pragma once

#include <cstdint>
#include <span>

namespace velkor {

// One row of the range table: when all its conditions hold, the chart's
// vertical axis runs from -limit to +limit and ScaledValue is CountValue x
// factor. Rows are tested in order and the last matching row wins.
struct RangeRow {
    enum class Tri : std::uint8_t { Any, On, Off };
    enum class Point : std::uint8_t { Any, None, P1, P2, P3 };

    const char* name; // identifies the row; never shown
    double limit;
    double factor;
    const char* function = nullptr; // compared with FunctionText when set
    const char* unit = nullptr;     // compared with UnitText when set
    Point point = Point::Any;
    Tri acMark = Tri::Any;
    Tri kMark = Tri::Any;
    Tri megaMark = Tri::Any;
    Tri continuityMark = Tri::Any;
    Tri bit77 = Tri::Any; // status bit 77 (continuity) itself
    Tri bit65 = Tri::Any; // status bit 65
};

std::span<const RangeRow> rangeTable();

} // namespace velkor
