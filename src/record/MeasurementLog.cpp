#include "record/MeasurementLog.h"

#include "chart/TChartControl.h"
#include "meter/Reading.h"
#include "platform/Clock.h"
#include "platform/HandlerTimer.h"
#include "platform/LocaleSource.h"
#include "platform/MessageBoxes.h"
#include "record/MeasurementTable.h"
#include "record/TimeTexts.h"

#include <climits>
#include <cmath>

namespace velkor {

std::int32_t recordLimitOf(RecordLimitItem item) {
    switch (item) {
    case RecordLimitItem::N10001: return 1000;
    case RecordLimitItem::N50001: return 5000;
    case RecordLimitItem::N100001: return 10000;
    case RecordLimitItem::N500001: return 50000;
    case RecordLimitItem::N1000001: return 100000;
    case RecordLimitItem::limitess: return 10000000;
    }
    return 10000;
}

QString readingKey(const Reading& r) {
    return r.ValueText + r.FunctionText + r.UnitText + r.RangeModeText;
}

MeasurementLog::MeasurementLog(MeasurementTable& cds1, HandlerTimer& Timer3, const Clock& clock,
                               const LocaleSource& locale)
    : cds1_(cds1), timer3_(Timer3), clock_(clock), locale_(locale) {}

// The number goes on after every offered reading, logged or dropped; past
// the largest 32-bit number it wraps like the table's integer field.
void MeasurementLog::advanceRecordNo() {
    NextRecordNo = static_cast<std::int32_t>(static_cast<std::uint32_t>(NextRecordNo) + 1u);
}

void MeasurementLog::logReading(const Reading& r, const QString& time, const QDateTime& now) {
    // The row, posted at once (when memory runs out, nothing changes).
    cds1_.appendLogged(NextRecordNo, time, r.FunctionText, r.ValueText, r.UnitText, r.JudgeText);
    LastLoggedKey = readingKey(r);
    ++LoggedCount;
    // The bar shows the magnitude of the scaled value.
    const double magnitude = std::trunc(std::fabs(r.ScaledValue));
    PBar2.position = magnitude < INT_MAX ? static_cast<int>(magnitude) : INT_MAX;
    // The chart takes the value (the window shows its page on Bt10).
    if (chartCtrl_) {
        chartCtrl_->Add(r.ScaledValue);
    }
    if (onRowLogged) {
        onRowLogged(r, now);
    }
}

// A full log records nothing more; the listener hears of it once.
void MeasurementLog::turnAwayAtLimit() {
    if (!limitTold_) {
        limitTold_ = true;
        if (onLimitReached) {
            onLimitReached();
        }
    }
}

void MeasurementLog::INDataToTable(const Reading& r) {
    if (RecordSI) {
        return;
    }
    if (LoggedCount >= MaxRecords) {
        turnAwayAtLimit();
        return;
    }
    if (RepeatSet || readingKey(r) != LastLoggedKey) {
        // The full date and time only for a listener; the row needs the time of day.
        const QDateTime now = onRowLogged ? clock_.now() : QDateTime();
        const QTime time = onRowLogged ? now.time() : clock_.timeOfDay();
        logReading(r, clockTimeText(time), now);
    }
    advanceRecordNo();
}

void MeasurementLog::Timer3Timer(Reading& r) {
    if (LoggedCount >= MaxRecords) {
        if (r.FreshReading && RecordSI) {
            turnAwayAtLimit();
        }
        return;
    }
    if (!r.FreshReading) {
        return;
    }
    if (RecordSI && (RepeatSet || readingKey(r) != LastLoggedKey)) {
        const QDateTime now = clock_.now();
        // The locale's own time format in its numeric form, so that it fits
        // the grid's time column.
        logReading(r, numericTimeText(now.time(), locale_.userLocale()), now);
    }
    if (RecordSI) {
        advanceRecordNo();
    }
    r.FreshReading = false;
}

void MeasurementLog::RecordSITimeChange(const QString& text) {
    recordSITime_ = text;
    bool ok = false;
    int seconds = text.trimmed().toInt(&ok, 10);
    if (!ok || seconds < 0 || seconds > kMaxSamplingSeconds) {
        return;
    }
    if (seconds == 0) {
        recordSITime_ = QStringLiteral("1");
        seconds = 1;
    }
    timer3_.setInterval(seconds * 1000);
}

void MeasurementLog::selectLimit(RecordLimitItem item) {
    MaxRecords = recordLimitOf(item);
    checkedLimit = item;
    limitTold_ = false;
}

void MeasurementLog::RecordNewClick(MessageBoxes& boxes) {
    if (!boxes.askYesNo(QStringLiteral("データをクリアしますか？"),
                        QStringLiteral("インフォメーション"))) {
        return;
    }
    clearLog();
}

void MeasurementLog::clearLog() {
    if (chartCtrl_) {
        chartCtrl_->Clear();
    }
    if (cds1_.rowCount() > 0) {
        cds1_.clear();
    }
    NextRecordNo = 1;
    LoggedCount = 0;
    limitTold_ = false;
}

} // namespace velkor
