#pragma once

#include "meter/Reading.h"

#include <QString>

namespace velkor {

// What the pipeline asks of the rest of the program while it decodes a frame
// and hands the reading on: the limit edits, the link mark, the chart's
// shown series and vertical axis, the judge, the bar and the log. The
// defaults are a world without a window: the axis is remembered here, the
// area view is chosen, recording is continuous, nothing is judged or logged.
class PassHost {
public:
    virtual ~PassHost() = default;

    // Replace the foreign decimal separator in the limit texts.
    virtual void normaliseLimitSeparators(const QString& fsDot) { (void)fsDot; }
    // A frame is being decoded (link mark on, idle ticks to 0).
    virtual void frameArriving() {}

    // Tracker reset: the series to show (0 area, 1 line) and the BtFill box.
    virtual bool fillChecked() const { return true; }
    virtual void showSeries(int index) { (void)index; }

    // The chart's vertical axis.
    virtual double verticalAxisMaximum() const { return axisMax_; }
    virtual void setVerticalAxis(double maximum, double minimum) {
        axisMax_ = maximum;
        axisMin_ = minimum;
    }
    double headlessAxisMinimum() const { return axisMin_; }

    // Judge the reading (sets JudgeText).
    virtual void judgeReading(Reading& reading) { (void)reading; }

    // The hand-off to the measurement log: the sampling box and its timer,
    // the bar's maximum, and logging the reading now.
    virtual bool samplingChecked() const { return false; }
    virtual void setSamplingTimerEnabled(bool on) { (void)on; }
    virtual void setBarMaximum(int maximum) { (void)maximum; }
    virtual void INDataToTable(int index) { (void)index; }

protected:
    double axisMax_ = 6000;
    double axisMin_ = -6000;
};

} // namespace velkor
