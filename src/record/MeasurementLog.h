#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

namespace velkor {

class Clock;
class HandlerTimer;
class LocaleSource;
class MeasurementTable;
class MessageBoxes;
class TChartControl;
struct Reading;

// The six items of the record menu "記録", each a size limit.
enum class RecordLimitItem { N10001, N50001, N100001, N500001, N1000001, limitess };
// MaxRecords of an item: 1000, 5000, 10000, 50000, 100000, 10000000.
std::int32_t recordLimitOf(RecordLimitItem item);

// The key by which repeats are recognised: ValueText, FunctionText,
// UnitText and RangeModeText run together.
QString readingKey(const Reading& reading);

// The largest sampling interval in seconds: its milliseconds must fit the
// timer's interval (a signed 32-bit count of milliseconds).
inline constexpr int kMaxSamplingSeconds = 2147483;

// The magnitude bar PBar2 under the meter panel.
struct MagnitudeBar {
    int maximum = 60;
    int position = 30;
};

// The record rules of the measurement log: which readings become rows of
// cds1 (continuously or sampled by Timer3, optionally without repeats, up to
// a size limit), the counters that go with them, the size-limit menu, the
// sampling interval edit and the New command. Each logged row also moves
// the bar and adds the value to the chart.
class MeasurementLog {
public:
    MeasurementLog(MeasurementTable& cds1, HandlerTimer& Timer3, const Clock& clock,
                   const LocaleSource& locale);

    // The chart controller that receives every logged value (none: no chart).
    void attachChart(TChartControl* chartCtrl) { chartCtrl_ = chartCtrl; }
    TChartControl* chartControl() const { return chartCtrl_; }

    // Continuous path: offers the reading; called after every decoded frame
    // while RecordSI is unchecked.
    void INDataToTable(const Reading& reading);
    // Sampling path: logs the latest reading if a frame came since the last
    // tick, and clears its FreshReading.
    void Timer3Timer(Reading& reading);

    // The interval edit RecordSITime changed: a whole number of seconds sets
    // Timer3's interval; "0" becomes "1". Other texts (also negative
    // numbers and numbers above kMaxSamplingSeconds) are ignored and the
    // previous interval stays in force.
    void RecordSITimeChange(const QString& text);
    const QString& RecordSITime() const { return recordSITime_; }

    // The size-limit menu: sets MaxRecords and checks the item alone.
    void selectLimit(RecordLimitItem item);
    void N10001Click() { selectLimit(RecordLimitItem::N10001); }
    void N50001Click() { selectLimit(RecordLimitItem::N50001); }
    void N100001Click() { selectLimit(RecordLimitItem::N100001); }
    void N500001Click() { selectLimit(RecordLimitItem::N500001); }
    void N1000001Click() { selectLimit(RecordLimitItem::N1000001); }
    void limitessClick() { selectLimit(RecordLimitItem::limitess); }

    // New: asks "データをクリアしますか？"; on Yes clears the log.
    void RecordNewClick(MessageBoxes& boxes);
    // Empties the chart and the table and numbers from 1 again, without
    // asking. LastLoggedKey stays.
    void clearLog();

    // The bar's maximum follows the chart's vertical axis.
    void setBarMaximum(int maximum) { PBar2.maximum = maximum; }

    // Called after every logged row with the reading and the clock's moment.
    std::function<void(const Reading&, const QDateTime&)> onRowLogged;
    // Called when the log is full and turns a reading away: once, and again
    // only after New or a choice in the record menu.
    std::function<void()> onLimitReached;

    std::int32_t NextRecordNo = 1;
    std::int32_t LoggedCount = 0;
    std::int32_t MaxRecords = 10000;
    QString LastLoggedKey;
    RecordLimitItem checkedLimit = RecordLimitItem::N100001;
    bool RepeatSet = true; // "連続": log repeats too
    bool RecordSI = false; // "サンプリング": sampling mode
    MagnitudeBar PBar2;

private:
    void logReading(const Reading& reading, const QString& time, const QDateTime& now);
    void advanceRecordNo();
    void turnAwayAtLimit();

    MeasurementTable& cds1_;
    HandlerTimer& timer3_;
    const Clock& clock_;
    const LocaleSource& locale_;
    TChartControl* chartCtrl_ = nullptr;
    QString recordSITime_ = QStringLiteral("1");
    bool limitTold_ = false;
};

} // namespace velkor
