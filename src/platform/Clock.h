#pragma once

#include <QDateTime>

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

} // namespace velkor
