#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

namespace velkor::cli {

// What a sender working on its own thread (the MQTT publisher, the InfluxDB
// writer) says during a run: each message goes to standard error as one
// whole line, and the first fatal one calls `fatal` on the caller's event
// loop, where the run can be ended.
class FatalRelay {
public:
    // From the sender's thread.
    void say(const QString& message, bool isFatal);
    bool failed() const { return failed_.load(); }

    std::function<void()> fatal;

private:
    QObject context_; // posts to the caller's loop; gone with this
    std::atomic<bool> failed_{false};
};

} // namespace velkor::cli
