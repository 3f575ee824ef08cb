#pragma once

#include "alarm/AlarmCommands.h"
#include "alarm/AlarmReading.h"
#include "alarm/AlarmWatch.h"

#include <QDateTime>
#include <functional>
#include <optional>

namespace velkor {
class Clock;
class CommandRunner;
struct LogRecord;
struct Reading;
} // namespace velkor

namespace velkor::cli {

class LogRun;
struct LogOptions;

// velkor-cli log's alarms: the judge's verdicts watched for transitions
// that last (--alarm-after), and on each the user's command (--on-fail,
// --on-pass), the broker's TOPIC/alarm (with --mqtt) and the end of the run
// (--stop-on-fail, exit status 4). A transition is acted on once its
// reading has been handed to the log, so the row it came with is printed,
// published and saved first; the command sees that row's number and moment.
class LogAlarms {
public:
    LogAlarms(const LogOptions& options, LogRun& run, const Clock& clock, CommandRunner& runner);
    ~LogAlarms();
    LogAlarms(const LogAlarms&) = delete;
    LogAlarms& operator=(const LogAlarms&) = delete;

    // Whether the options ask for anything alarms do.
    static bool wanted(const LogOptions& options);

    // Each logged row, with the moment it was logged at.
    void rowLogged(const LogRecord& row, const QDateTime& moment);
    // The run's end: a command still running is given up to 10 seconds.
    void finish();

    // Each transition, for the broker.
    std::function<void(bool failing, const AlarmReading&)> publish;

    static constexpr int kFinishWaitMs = 10'000;

private:
    void judged(const Reading& reading, Verdict verdict);
    void handedOff();

    LogRun& run_;
    const Clock& clock_;
    bool stopOnFail_;
    AlarmWatch watch_;
    AlarmCommands commands_;
    struct Pending {
        AlarmTransition transition;
        AlarmReading reading;
    };
    std::optional<Pending> pending_;
};

} // namespace velkor::cli
