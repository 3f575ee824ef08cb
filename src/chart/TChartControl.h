#pragma once

#include "chart/ChartFacility.h"

namespace velkor {

class MessageBoxes;

// Turns a chart into a paged strip chart: a horizontal window of Range point
// positions (a page) that follows the newest point or holds a page the user
// chose. Does not draw and does not own the chart.
class TChartControl {
public:
    // Every point added gets this colour (blue).
    static constexpr RgbColour kPointColour = 0x0000FF;

    // Binds the chart and shows page 1, 1 .. range, following the newest
    // point. range must be at least 1 (std::invalid_argument otherwise).
    TChartControl(ChartFacility& chart, int range, MessageBoxes& boxes);

    void Add(double value);
    void First();
    void Previous();
    void Next();
    void Last();
    void Clear();

    int Range() const { return FRange; }
    // A new page length returns the chart to the newest page, following.
    // Values below 1 are refused (nothing changes): the page count divides
    // by the page length. Callers that take the value from the user say so.
    void setRange(int v);
    int CurPage() const { return FCurPage; }
    // A page outside 1 .. TotalPage shows "The Value must between 1 and %d !".
    void setCurPage(int v);
    int TotalPage() const { return FTotalPage; }
    long long PointCount() const { return FPointCount; }
    int Page() const { return FPage; }
    void setPage(int v);
    // True while the chart holds a page the user chose.
    bool paused() const { return FPause; }

    double AxisXMin() const { return FAxisXMin; }
    double AxisXMax() const { return FAxisXMax; }
    double AxisYMin() const { return FAxisYMin; }
    double AxisYMax() const { return FAxisYMax; }
    // Each gives the value to the axis and remembers it; a value the axis
    // refuses (AxisRangeError) is not remembered.
    void setAxisXMin(double v);
    void setAxisXMax(double v);
    void setAxisYMin(double v);
    void setAxisYMax(double v);

private:
    int pagesFor(long long points) const;
    void scroll(long long times, double d);

    ChartFacility& FChart;
    MessageBoxes& boxes_;
    int FCurPage = 0;
    int FRange = 0;
    int FTotalPage = 0;
    bool FPause = false;
    long long FPointCount = 0;
    double FAxisYMax = 0;
    double FAxisXMin = 0;
    double FAxisYMin = 0;
    double FAxisXMax = 0;
    int FPage = 0;
};

} // namespace velkor
