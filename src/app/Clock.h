#pragma once

#include <QDateTime>
#include <QElapsedTimer>

namespace velkor {

// The wall clock and a monotonic millisecond counter, behind one interface so
// that tests can fix the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual qint64 monotonicMs() const = 0;
    // The local time of day now, to the millisecond. The system clock answers
    // this without a time-zone lookup on every call (the log asks it for
    // every row).
    virtual QTime timeOfDay() const { return now().time(); }
};

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

class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime t = QDateTime(QDate(2026, 1, 1), QTime(9, 5, 3))) : now_(t) {}
    QDateTime now() const override { return now_; }
    qint64 monotonicMs() const override { return ms_; }
    void set(QDateTime t) { now_ = std::move(t); }
    void advanceMs(qint64 ms) {
        ms_ += ms;
        now_ = now_.addMSecs(ms);
    }

private:
    QDateTime now_;
    qint64 ms_ = 0;
};

} // namespace velkor
