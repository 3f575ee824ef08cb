#pragma once

namespace velkor {

class ChartFacility;
class MessageBoxes;

// Turns a chart into a paged strip chart: a horizontal window of Range point
// positions (a page) that follows the newest point or holds a page the user
// chose. Does not draw and does not own the chart.
class TChartControl {
public:
    TChartControl(ChartFacility& chart, int range, MessageBoxes& boxes);

    void Add(double value);
    void First();
    void Previous();
    void Next();
    void Last();
    void Clear();

    int Range() const { return FRange; }
    void setRange(int v);
    int CurPage() const { return FCurPage; }
    void setCurPage(int v);
    int TotalPage() const { return FTotalPage; }
    long long PointCount() const { return FPointCount; }
    int Page() const { return FPage; }
    void setPage(int v);
    bool paused() const { return FPause; }

    double AxisXMin() const { return FAxisXMin; }
    double AxisXMax() const { return FAxisXMax; }
    double AxisYMin() const { return FAxisYMin; }
    double AxisYMax() const { return FAxisYMax; }
    void setAxisXMin(double v);
    void setAxisXMax(double v);
    void setAxisYMin(double v);
    void setAxisYMax(double v);

private:
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
