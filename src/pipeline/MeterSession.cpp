#include "pipeline/MeterSession.h"

#include "chart/ChartFacility.h"
#include "decode/StartValues.h"
#include "meter/Reading.h"
#include "platform/HandlerTimer.h"

namespace velkor {

MeterSession::MeterSession(Timers timers, const Clock& clock, const LocaleSource& locale)
    : limits(timers.Timer1, timers.Timer4), log(cds1, timers.Timer3, clock, locale),
      timer3_(timers.Timer3) {}

void MeterSession::attachChart(ChartFacility* chart, TChartControl* chartCtrl) {
    chart_ = chart;
    log.attachChart(chartCtrl);
    if (chart_) {
        chart_->setVerticalRange(axisMin_, axisMax_);
    }
}

void MeterSession::applyLimitStartValues(const StartValues& start) {
    limits.systeminfomation = start.systeminfomation;
    limits.FsDot = start.FsDot;
    limits.UpperLimitText = start.UpperLimitText;
    limits.LowerLimitText = start.LowerLimitText;
}

void MeterSession::applyRecordStartValues(const StartValues& start) {
    log.NextRecordNo = start.NextRecordNo;
    log.MaxRecords = start.MaxRecords;
}

void MeterSession::Timer3Timer() {
    if (reading_) {
        log.Timer3Timer(*reading_);
    }
}

void MeterSession::normaliseLimitSeparators(const QString& fsDot) {
    limits.normaliseSeparators(fsDot);
}

void MeterSession::showSeries(int index) {
    if (chart_) {
        showOnlySeries(*chart_, index);
    }
}

double MeterSession::verticalAxisMaximum() const {
    return chart_ ? chart_->verticalMaximum() : axisMax_;
}

void MeterSession::setVerticalAxis(double maximum, double minimum) {
    axisMax_ = maximum;
    axisMin_ = minimum;
    if (chart_) {
        chart_->setVerticalRange(minimum, maximum);
    }
}

void MeterSession::judgeReading(Reading& reading) {
    reading_ = &reading;
    const Verdict verdict = limits.judge(reading);
    if (onJudged) {
        onJudged(reading, verdict);
    }
}

void MeterSession::setSamplingTimerEnabled(bool on) {
    timer3_.setEnabled(on);
}

void MeterSession::INDataToTable(int /*index*/) {
    if (reading_) {
        log.INDataToTable(*reading_);
        if (onHandedOff) {
            onHandedOff(*reading_);
        }
    }
}

} // namespace velkor
