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
// draws as fast as one of a hundred. Changes of the window, the axes or the
// shown series are gathered and applied on the next turn of the event loop
// (refresh() applies them at once); a new point inside the window is drawn
// straight away.
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
    QLineSeries* lineOf(int seriesIndex) const;
    void applyAxes();

    ChartModel model_;
    QLineSeries* areaUpper_ = nullptr; // the line of Series2
    QAreaSeries* series2_ = nullptr;
    QLineSeries* series1_ = nullptr;
    QValueAxis* axisX_ = nullptr;
    QValueAxis* axisY_ = nullptr;
    bool dirty_ = false;
    bool queued_ = false;
};

} // namespace velkor
