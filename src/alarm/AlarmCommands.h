#pragma once

#include "alarm/AlarmReading.h"
#include "alarm/AlarmWatch.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace velkor {

class CommandRunner;

// The user's commands on an alarm's transitions (velkor-cli log --on-fail
// CMD, --on-pass CMD): each run through the command runner with the
// reading in its environment (alarmEnvironment), never in its text. At
// most one runs at a time: a transition that comes while one runs is told
// and skipped. A command that cannot start, exits with another status than
// 0 or is ended by a signal is told with its status; the run goes on in
// every case.
class AlarmCommands {
public:
    struct Options {
        QString onFail;                   // empty: nothing is run
        QString onPass;                   // empty: nothing is run
        std::vector<QByteArray> withheld; // variables the commands do not get (credentials)
    };

    AlarmCommands(CommandRunner& runner, Options options);
    ~AlarmCommands();
    AlarmCommands(const AlarmCommands&) = delete;
    AlarmCommands& operator=(const AlarmCommands&) = delete;

    void transition(AlarmTransition transition, const AlarmReading& reading);
    // The run's end: a command still running is waited for up to
    // `timeoutMs` (said when it has to wait), then left to run on.
    void finish(int timeoutMs);

    // Messages for the user, one line each (default: none).
    std::function<void(const QString&)> say;

private:
    void ended(const CommandEnd& end);
    void tell(const QString& message);

    CommandRunner& runner_;
    Options options_;
    // The command that runs: its option and the row it was run for.
    QString running_;
    qint32 runningNo_ = 0;
};

// What a command's end says, or empty for an exit with status 0:
// "exited with status 3", "exited with status 127 (not found)",
// "was ended by signal 9 (Killed)".
QString commandEndProblem(const CommandEnd& end);

} // namespace velkor
