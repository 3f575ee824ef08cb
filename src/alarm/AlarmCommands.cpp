#include "alarm/AlarmCommands.h"

#include "platform/CommandRunner.h"

#include <cstring>

namespace velkor {

AlarmCommands::AlarmCommands(CommandRunner& runner, Options options)
    : runner_(runner), options_(std::move(options)) {
    runner_.finished = [this](const CommandEnd& end) { ended(end); };
}

AlarmCommands::~AlarmCommands() {
    runner_.finished = nullptr;
}

void AlarmCommands::tell(const QString& message) {
    if (say) {
        say(message);
    }
}

void AlarmCommands::transition(AlarmTransition transition, const AlarmReading& reading) {
    const bool toFail = transition == AlarmTransition::ToFail;
    const QString& command = toFail ? options_.onFail : options_.onPass;
    if (transition == AlarmTransition::None || command.isEmpty()) {
        return;
    }
    const QString name = toFail ? QStringLiteral("--on-fail") : QStringLiteral("--on-pass");
    if (runner_.running()) {
        tell(QStringLiteral("%1 for No. %2 skipped: the %3 command for No. %4 is still running")
                 .arg(name)
                 .arg(reading.no)
                 .arg(running_)
                 .arg(runningNo_));
        return;
    }
    CommandEnvironment env = alarmEnvironment(reading);
    env.unset = options_.withheld;
    QString error;
    if (!runner_.start(command, env, &error)) {
        tell(QStringLiteral("%1 for No. %2: cannot start the command: %3")
                 .arg(name)
                 .arg(reading.no)
                 .arg(error));
        return;
    }
    running_ = name;
    runningNo_ = reading.no;
}

void AlarmCommands::ended(const CommandEnd& end) {
    if (const QString problem = commandEndProblem(end); !problem.isEmpty()) {
        tell(QStringLiteral("%1 for No. %2: the command %3")
                 .arg(running_)
                 .arg(runningNo_)
                 .arg(problem));
    }
}

void AlarmCommands::finish(int timeoutMs) {
    if (!runner_.running()) {
        return;
    }
    tell(QStringLiteral("waiting up to %1 s for the %2 command for No. %3 to end")
             .arg(timeoutMs / 1000)
             .arg(running_)
             .arg(runningNo_));
    if (!runner_.waitForEnd(timeoutMs)) {
        tell(QStringLiteral("the %1 command for No. %2 is still running; it is left to end by "
                            "itself")
                 .arg(running_)
                 .arg(runningNo_));
    }
}

QString commandEndProblem(const CommandEnd& end) {
    if (end.how == CommandEnd::How::Signalled) {
        const char* name = ::strsignal(end.code);
        return QStringLiteral("was ended by signal %1 (%2)")
            .arg(end.code)
            .arg(QString::fromLocal8Bit(name ? name : "unknown"));
    }
    if (end.how == CommandEnd::How::Unknown) {
        return QStringLiteral("ended; its status is unknown");
    }
    switch (end.code) {
    case 0: return {};
    // The shell's own statuses for a command it could not find or run.
    case 127: return QStringLiteral("exited with status 127 (not found)");
    case 126: return QStringLiteral("exited with status 126 (cannot be run)");
    default: return QStringLiteral("exited with status %1").arg(end.code);
    }
}

} // namespace velkor
