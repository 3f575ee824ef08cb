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
};

class SystemClock final : public Clock {
public:
    SystemClock() { timer_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override { return timer_.elapsed(); }

private:
    QElapsedTimer timer_;
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
