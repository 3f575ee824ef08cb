#pragma once

#include "cli/FatalRelay.h"
#include "cli/LogOptions.h"
#include "influx/InfluxLine.h"
#include "influx/InfluxWriter.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace velkor {
struct LogRecord;
} // namespace velkor

namespace velkor::cli {

// velkor-cli log --influx: each logged row also goes to InfluxDB as a line
// of the measurement "meter" (see influx/InfluxLine.h), tagged with the
// device (the path given, "hid" for the first cable, "stdin") and, with
// --mqtt, the topic, timestamped with the moment it was logged. The writer
// works on its own thread and never holds up the log; what it has to say
// goes to standard error as it happens. Refused credentials or an unknown
// database call `fatal` on the caller's thread, with the message said.
class LogInflux {
    FatalRelay relay_; // first: `fatal` below refers to it

public:
    explicit LogInflux(const LogOptions& options);
    ~LogInflux();
    LogInflux(const LogInflux&) = delete;
    LogInflux& operator=(const LogInflux&) = delete;

    std::optional<QString> start();
    void write(const LogRecord& row, const QDateTime& moment);
    // After the input's end (`drain`) the queued rows are given as long as
    // the server keeps taking them; after a signal, a few seconds at most.
    void finish(bool drain);
    bool failed() const { return relay_.failed(); }

    // Called on the caller's event loop after a fatal event.
    std::function<void()>& fatal = relay_.fatal;

private:
    void event(const influx::InfluxEvent& event);

    QString device_;
    QString topic_;
    influx::UniqueNanoseconds stamps_;
    std::unique_ptr<influx::InfluxWriter> writer_;
};

} // namespace velkor::cli
