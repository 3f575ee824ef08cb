#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>

namespace velkor {

// The machine's wall clock and a monotonic counter since construction.
// The offset from UTC is looked up once a minute (offsets change on whole
// minutes); the rest is arithmetic on the UTC clock, so that neither a
// logged row's moment nor its time of day costs a time-zone lookup.
class SystemClock final : public Clock {
public:
    SystemClock() { timer_.start(); }
    // The local date and time with its offset from UTC (as an offset, which
    // every field and the offset itself give back without a lookup).
    QDateTime now() const override {
        const qint64 utc = QDateTime::currentMSecsSinceEpoch();
        return QDateTime::fromMSecsSinceEpoch(utc, Qt::OffsetFromUTC,
                                              static_cast<int>(offsetMsAt(utc) / 1000));
    }
    qint64 monotonicMs() const override { return timer_.elapsed(); }
    QTime timeOfDay() const override {
        constexpr qint64 kDay = 86'400'000;
        const qint64 utc = QDateTime::currentMSecsSinceEpoch();
        const qint64 local = ((utc + offsetMsAt(utc)) % kDay + kDay) % kDay;
        return QTime::fromMSecsSinceStartOfDay(static_cast<int>(local));
    }

private:
    qint64 offsetMsAt(qint64 utc) const {
        constexpr qint64 kMinute = 60'000;
        const qint64 minute = utc >= 0 ? utc / kMinute : (utc - kMinute + 1) / kMinute;
        if (minute != offsetMinute_) {
            offsetMs_ = qint64(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
            offsetMinute_ = minute;
        }
        return offsetMs_;
    }

    QElapsedTimer timer_;
    mutable qint64 offsetMinute_ = -1;
    mutable qint64 offsetMs_ = 0;
};

} // namespace velkor
