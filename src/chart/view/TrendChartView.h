#pragma once

#include "chart/ChartModel.h"

#include <QChartView>
#include <QString>

class QAreaSeries;
class QLineSeries;
class QValueAxis;

namespace velkor {

// The trend chart on Qt Charts: the area series Series2 and the line series
// Series1 over fixed axes "記録数" and "値". The points live once in the
// chart's model; Qt Charts is given only the points inside the horizontal
// window, and only for the series shown, so a chart of millions of points
// draws as fast as one of a hundred. Changes of the points, the window, the
// axes or the shown series are gathered and applied on the next turn of the
// event loop, or, when the view is paced, when its owner calls refresh(). An
// axis is given to Qt Charts only when its range really changed (in an order
// that never makes thousands of ticks on the way), and new points inside the
// window reach what is drawn in one piece per refresh.
class TrendChartView : public QChartView, private ChartModelListener {
    Q_OBJECT
public:
    explicit TrendChartView(QWidget* parent = nullptr);
    ~TrendChartView() override;

    // The chart as the paged controller and the decoder see it.
    ChartModel& model() { return model_; }
    const ChartModel& model() const { return model_; }

    // Brings what Qt Charts draws up to date with the model now.
    void refresh();
    // Paced: changes wait for refresh(); otherwise they are applied on the
    // next turn of the event loop.
    void setPaced(bool paced) { paced_ = paced; }

    // Writes the chart, as drawn at its current size, to `path` as a Windows
    // bitmap. Throws std::runtime_error when the file cannot be written.
    void saveBitmap(const QString& path);

    QAreaSeries* Series2() const { return series2_; }
    QLineSeries* Series1() const { return series1_; }
    QValueAxis* horizontalAxis() const { return axisX_; }
    QValueAxis* verticalAxis() const { return axisY_; }
    // Points Qt Charts currently holds for the area and the line series.
    qsizetype drawnPointCount(int seriesIndex) const;

private:
    // ChartModelListener
    void pointsAppended(long long first, long long count) override;
    void pointsReset() override { scheduleRefresh(); }
    void horizontalWindowChanged() override { scheduleRefresh(); }
    void verticalAxisChanged() override { scheduleRefresh(); }
    void seriesVisibilityChanged() override { scheduleRefresh(); }

    void scheduleRefresh();
    void queueRefresh();
    QLineSeries* lineOf(int seriesIndex) const;
    void applyAxes();
    // What an axis was last given.
    struct AxisShown {
        double minimum = 0, maximum = -1, step = 0;
        int decimals = -1;
    };
    static void setAxis(QValueAxis* axis, AxisShown& shown, double minimum, double maximum,
                        bool wholeNumbers);

    ChartModel model_;
    QLineSeries* areaUpper_ = nullptr; // the line of Series2
    QAreaSeries* series2_ = nullptr;
    QLineSeries* series1_ = nullptr;
    QValueAxis* axisX_ = nullptr;
    QValueAxis* axisY_ = nullptr;
    AxisShown shownX_, shownY_;
    bool dirty_ = false;          // everything is drawn anew
    long long appendedFrom_ = -1; // points appended since the last refresh, from this X
    bool queued_ = false;
    bool paced_ = false;
};

} // namespace velkor
