#pragma once

#include <cstdint>
#include <stdexcept>

namespace velkor {

// Raised by an axis that refuses a limit (a minimum above its maximum, or a
// maximum below its minimum).
class AxisRangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A colour as 0xRRGGBB.
using RgbColour = std::uint32_t;

// What the paged chart controller needs of a chart: an ordered list of
// series that all take the same points (the point appended to a series that
// holds k points gets X = k), a horizontal axis with the limited scroll, and a
// vertical axis.
class ChartFacility {
public:
    virtual ~ChartFacility() = default;

    virtual int seriesCount() const = 0;
    // Appends one value with the given point colour to every series, in list order.
    virtual void appendToAllSeries(double value, RgbColour pointColour) = 0;
    virtual void clearAllSeries() = 0;
    // Number of points of the first series.
    virtual long long pointCount() const = 0;
    virtual bool seriesVisible(int index) const = 0;
    virtual void setSeriesVisible(int index, bool visible) = 0;

    virtual void setHorizontalAutomatic(bool automatic) = 0;
    virtual double horizontalMinimum() const = 0;
    virtual double horizontalMaximum() const = 0;
    // Throw AxisRangeError, changing nothing, when the limit would cross the other.
    virtual void setHorizontalMinimum(double value) = 0;
    virtual void setHorizontalMaximum(double value) = 0;
    // Sets both limits at once; throws AxisRangeError, changing nothing, when
    // minimum > maximum. Unlike two single setters it cannot be refused
    // because of the limits the axis had before.
    virtual void setHorizontalRange(double minimum, double maximum) = 0;
    // Moves the window by d only when a point of a shown series lies beyond it
    // in that direction (d > 0: X above the maximum; d < 0: X below the
    // minimum); d = 0 never moves it.
    virtual void limitedScrollHorizontal(double d) = 0;

    virtual double verticalMinimum() const = 0;
    virtual double verticalMaximum() const = 0;
    // Throw AxisRangeError, changing nothing, when the limit would cross the other.
    virtual void setVerticalMinimum(double value) = 0;
    virtual void setVerticalMaximum(double value) = 0;
    // Both limits at once, as setHorizontalRange.
    virtual void setVerticalRange(double minimum, double maximum) = 0;
};

// The series switch of the chart view: hides every series, then shows the
// one at `index` (0 the area series, 1 the line series). An index outside the
// list leaves every series hidden.
inline void showOnlySeries(ChartFacility& chart, int index) {
    for (int i = 0; i < chart.seriesCount(); ++i) {
        chart.setSeriesVisible(i, false);
    }
    chart.setSeriesVisible(index, true);
}

} // namespace velkor
