#pragma once

#include "chart/ChartFacility.h"

#include <vector>

namespace velkor {

// Told by a ChartModel what changed, so that a view can redraw only that.
class ChartModelListener {
public:
    virtual ~ChartModelListener() = default;
    // Points were appended at X = first .. count - 1 (count is the new point count).
    virtual void pointsAppended(long long first, long long count) = 0;
    // Every point is gone or replaced.
    virtual void pointsReset() = 0;
    virtual void horizontalWindowChanged() = 0;
    virtual void verticalAxisChanged() = 0;
    virtual void seriesVisibilityChanged() = 0;
};

// The chart's data and axes without any drawing. Every series of this chart
// shows the same points (the paged controller appends each value to all of
// them), so the values are held once, as one compact array of doubles whose
// index is the point's X. Each series keeps only its shown flag. A view
// draws from this model and listens to its changes.
class ChartModel final : public ChartFacility {
public:
    // The designed chart: two series (index 0 the area series, 1 the line
    // series), both shown; the horizontal axis automatic; the vertical axis
    // from -4100 to 4100.
    explicit ChartModel(int seriesCount = 2);

    void setListener(ChartModelListener* listener) { listener_ = listener; }

    // ChartFacility
    int seriesCount() const override { return static_cast<int>(visible_.size()); }
    void appendToAllSeries(double value, RgbColour pointColour) override;
    void clearAllSeries() override;
    long long pointCount() const override { return static_cast<long long>(values_.size()); }
    bool seriesVisible(int index) const override;
    void setSeriesVisible(int index, bool visible) override;
    void setHorizontalAutomatic(bool automatic) override;
    double horizontalMinimum() const override { return hMin_; }
    double horizontalMaximum() const override { return hMax_; }
    void setHorizontalMinimum(double value) override;
    void setHorizontalMaximum(double value) override;
    void setHorizontalRange(double minimum, double maximum) override;
    void limitedScrollHorizontal(double d) override;
    double verticalMinimum() const override { return vMin_; }
    double verticalMaximum() const override { return vMax_; }
    void setVerticalMinimum(double value) override;
    void setVerticalMaximum(double value) override;
    void setVerticalRange(double minimum, double maximum) override;

    // The chart engine's sample fill: every series is emptied and given
    // `count` placeholder points (X = 0 .. count - 1, value 0).
    void fillSampleValues(int count);

    bool horizontalAutomatic() const { return hAuto_; }
    // Value of the point at X = index (0 <= index < pointCount()).
    double value(long long index) const { return values_[static_cast<std::size_t>(index)]; }
    // Colour of the last point appended (every point of this program gets
    // the same one, so it is not kept per point).
    RgbColour pointColour() const { return pointColour_; }
    bool anySeriesVisible() const;
    // The point indexes that lie in the horizontal window (the whole series
    // while the axis is automatic); first > last when none does.
    struct IndexSpan {
        long long first;
        long long last;
    };
    IndexSpan visibleSpan() const;

private:
    void moveWindow(double minimum, double maximum);

    std::vector<double> values_;
    std::vector<char> visible_;
    RgbColour pointColour_ = 0;
    bool hAuto_ = true;
    double hMin_ = 0;
    double hMax_ = 0;
    double vMin_ = -4100;
    double vMax_ = 4100;
    ChartModelListener* listener_ = nullptr;
};

} // namespace velkor
