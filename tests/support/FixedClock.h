#pragma once

#include "platform/Clock.h"

namespace velkor {

// A clock that stands still until a test moves it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime t = QDateTime(QDate(2026, 1, 1), QTime(9, 5, 3))) : now_(t) {}
    QDateTime now() const override { return now_; }
    qint64 monotonicMs() const override { return ms_; }
    void set(QDateTime t) { now_ = std::move(t); }
    // Moves only the monotonic counter (time passing between frames).
    void advanceMonotonicMs(qint64 ms) { ms_ += ms; }
    void advanceMs(qint64 ms) {
        ms_ += ms;
        now_ = now_.addMSecs(ms);
    }

private:
    QDateTime now_;
    qint64 ms_ = 0;
};

} // namespace velkor
