#include "chart/ChartModel.h"

#include <algorithm>
#include <cmath>

namespace velkor {

namespace {

void checkOrder(double minimum, double maximum) {
    if (minimum > maximum) {
        throw AxisRangeError("Axis minimum value must be <= maximum");
    }
}

} // namespace

ChartModel::ChartModel(int seriesCount)
    : visible_(static_cast<std::size_t>(std::max(seriesCount, 1)), 1) {}

void ChartModel::appendToAllSeries(double value, RgbColour pointColour) {
    values_.push_back(value);
    pointColour_ = pointColour;
    if (listener_) {
        listener_->pointsAppended(pointCount() - 1, pointCount());
    }
}

void ChartModel::clearAllSeries() {
    // Give the memory back: a cleared log may have held millions of points.
    std::vector<double>().swap(values_);
    if (listener_) {
        listener_->pointsReset();
    }
}

bool ChartModel::seriesVisible(int index) const {
    return index >= 0 && index < seriesCount() && visible_[static_cast<std::size_t>(index)] != 0;
}

void ChartModel::setSeriesVisible(int index, bool visible) {
    if (index < 0 || index >= seriesCount() || seriesVisible(index) == visible) {
        return;
    }
    visible_[static_cast<std::size_t>(index)] = visible ? 1 : 0;
    if (listener_) {
        listener_->seriesVisibilityChanged();
    }
}

bool ChartModel::anySeriesVisible() const {
    return std::find(visible_.begin(), visible_.end(), 1) != visible_.end();
}

void ChartModel::setHorizontalAutomatic(bool automatic) {
    if (hAuto_ == automatic) {
        return;
    }
    hAuto_ = automatic;
    if (listener_) {
        listener_->horizontalWindowChanged();
    }
}

void ChartModel::moveWindow(double minimum, double maximum) {
    if (minimum == hMin_ && maximum == hMax_) {
        return;
    }
    hMin_ = minimum;
    hMax_ = maximum;
    if (listener_) {
        listener_->horizontalWindowChanged();
    }
}

void ChartModel::setHorizontalMinimum(double value) {
    checkOrder(value, hMax_);
    moveWindow(value, hMax_);
}

void ChartModel::setHorizontalMaximum(double value) {
    checkOrder(hMin_, value);
    moveWindow(hMin_, value);
}

void ChartModel::setHorizontalRange(double minimum, double maximum) {
    checkOrder(minimum, maximum);
    moveWindow(minimum, maximum);
}

void ChartModel::limitedScrollHorizontal(double d) {
    if (d == 0 || values_.empty() || !anySeriesVisible()) {
        return;
    }
    // Every shown series holds the same points, X = 0 .. n - 1.
    const double lowestX = 0;
    const double highestX = static_cast<double>(values_.size() - 1);
    if ((d > 0 && highestX > hMax_) || (d < 0 && lowestX < hMin_)) {
        hAuto_ = false;
        moveWindow(hMin_ + d, hMax_ + d);
    }
}

void ChartModel::setVerticalMinimum(double value) {
    setVerticalRange(value, vMax_);
}

void ChartModel::setVerticalMaximum(double value) {
    setVerticalRange(vMin_, value);
}

void ChartModel::setVerticalRange(double minimum, double maximum) {
    checkOrder(minimum, maximum);
    if (minimum == vMin_ && maximum == vMax_) {
        return;
    }
    vMin_ = minimum;
    vMax_ = maximum;
    if (listener_) {
        listener_->verticalAxisChanged();
    }
}

void ChartModel::fillSampleValues(int count) {
    std::vector<double>(static_cast<std::size_t>(std::max(count, 0)), 0.0).swap(values_);
    if (listener_) {
        listener_->pointsReset();
    }
}

ChartModel::IndexSpan ChartModel::visibleSpan() const {
    const long long n = pointCount();
    if (hAuto_) {
        return {0, n - 1};
    }
    // Points sit on whole X values; the window's limits need not.
    const double first = std::max(std::ceil(hMin_), 0.0);
    const double last = std::min(std::floor(hMax_), static_cast<double>(n - 1));
    if (first > last) {
        return {0, -1};
    }
    return {static_cast<long long>(first), static_cast<long long>(last)};
}

} // namespace velkor
