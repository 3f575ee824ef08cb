#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>

namespace velkor {

// The machine's wall clock and a monotonic counter since construction.
class SystemClock final : public Clock {
public:
    SystemClock() { timer_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }
    // The offset from UTC is looked up once a minute (offsets change on
    // whole minutes); the rest is arithmetic on the UTC clock.
    QTime timeOfDay() const override {
        constexpr qint64 kMinute = 60'000;
        constexpr qint64 kDay = 86'400'000;
        const qint64 utc = QDateTime::currentMSecsSinceEpoch();
        const qint64 minute = utc >= 0 ? utc / kMinute : (utc - kMinute + 1) / kMinute;
        if (minute != offsetMinute_) {
            offsetMs_ = qint64(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
            offsetMinute_ = minute;
        }
        const qint64 local = ((utc + offsetMs_) % kDay + kDay) % kDay;
        return QTime::fromMSecsSinceStartOfDay(static_cast<int>(local));
    }

private:
    QElapsedTimer timer_;
    mutable qint64 offsetMinute_ = -1;
    mutable qint64 offsetMs_ = 0;
};

} // namespace velkor
