#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace velkor {

// How a command ended.
struct CommandEnd {
    // Unknown: someone else collected its status.
    enum class How { Exited, Signalled, Unknown };
    How how = How::Exited;
    int code = 0; // the exit status, or the signal's number
};

// What a command's environment differs in from the program's own.
struct CommandEnvironment {
    std::vector<std::pair<QByteArray, QByteArray>> set; // name, value
    std::vector<QByteArray> unset;
};

// Runs a user's shell command in the background, one at a time: through
// /bin/sh -c, with its values in the environment rather than in the
// command's text, standard input empty and standard output on the
// program's standard error (standard output may be the program's own data).
// Its end is told on the event loop; the program never waits for it.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;

    // Starts `command`. False with the reason when it cannot start (no
    // /bin/sh, no processes left); a command the shell cannot find or run
    // starts and ends with the shell's status (127, 126).
    virtual bool start(const QString& command, const CommandEnvironment& environment,
                       QString* error) = 0;
    // Whether a command started here has not ended yet.
    virtual bool running() const = 0;
    // Waits up to `timeoutMs` for the running command to end (finished is
    // called); true when none runs any more. A command still running then
    // is left to run on.
    virtual bool waitForEnd(int timeoutMs) = 0;

    // Called on the event loop when a command has ended.
    std::function<void(const CommandEnd&)> finished;
};

} // namespace velkor
