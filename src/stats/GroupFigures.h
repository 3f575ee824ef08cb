#pragma once

#include "stats/LogStatistics.h"

#include <QString>
#include <array>

namespace velkor {

// The figures of a group as they are shown, in the order the window and
// the command line show them.
enum class Figure {
    Count,
    Overloads,
    Fails,
    Minimum,
    MinimumNo,
    MinimumTime,
    Maximum,
    MaximumNo,
    MaximumTime,
    Mean,
    StandardDeviation,
    FirstTime,
    LastTime,
};
inline constexpr int kFigureCount = 13;

// Each figure's text: the minimum and maximum exactly (exactNumberText),
// the mean and standard deviation to 6 significant digits; empty where
// there is nothing to show (no values; one value has no deviation; a row
// without a number).
std::array<QString, kFigureCount> figureTexts(const GroupStatistics& group);

} // namespace velkor
