#pragma once

#include "decode/LimitJudge.h"
#include "pipeline/PassHost.h"
#include "record/MeasurementLog.h"
#include "record/MeasurementTable.h"

#include <functional>

namespace velkor {

class ChartFacility;
class Clock;
class HandlerTimer;
class LocaleSource;
class TChartControl;
struct StartValues;

// What the decoding pass hands on after the meter display: the limit judge,
// the measurement log with its table, and the chart. The window and
// velkor-cli run the same session as the pass's host; the window shows its
// state on the widgets after each call.
class MeterSession : public PassHost {
public:
    struct Timers {
        HandlerTimer& Timer1; // upper limit validation, 500 ms
        HandlerTimer& Timer4; // lower limit validation, 500 ms
        HandlerTimer& Timer3; // sampling tick
    };

    MeterSession(Timers timers, const Clock& clock, const LocaleSource& locale);

    // The Reading of the decoder whose passes this session serves.
    void bindReading(Reading& reading) { reading_ = &reading; }
    // The chart (vertical axis, shown series) and its page controller, when
    // there is one; without, the vertical axis is remembered here.
    void attachChart(ChartFacility* chart, TChartControl* chartCtrl);

    // Start-up: the system separator, the user's separator and the last
    // accepted limit texts; NextRecordNo and MaxRecords.
    void applyLimitStartValues(const StartValues& start);
    void applyRecordStartValues(const StartValues& start);

    // The sampling tick, on the bound reading.
    void Timer3Timer();

    LimitJudge limits;
    MeasurementTable cds1;
    MeasurementLog log;
    bool BtFill = true; // the chart's fill box: area (checked) or line view

    // Each judged reading with its verdict (None: the limits made none),
    // right after the judge.
    std::function<void(const Reading&, Verdict)> onJudged;
    // Each reading after its hand-off to the log on the continuous path
    // (logged, dropped as a repeat or turned away by the size limit): the
    // end of its pass.
    std::function<void(const Reading&)> onHandedOff;

    // PassHost
    void normaliseLimitSeparators(const QString& fsDot) override;
    bool fillChecked() const override { return BtFill; }
    void showSeries(int index) override;
    double verticalAxisMaximum() const override;
    void setVerticalAxis(double maximum, double minimum) override;
    void judgeReading(Reading& reading) override;
    bool samplingChecked() const override { return log.RecordSI; }
    void setSamplingTimerEnabled(bool on) override;
    void setBarMaximum(int maximum) override { log.setBarMaximum(maximum); }
    void INDataToTable(int index) override;

private:
    HandlerTimer& timer3_;
    Reading* reading_ = nullptr;
    ChartFacility* chart_ = nullptr;
};

} // namespace velkor
