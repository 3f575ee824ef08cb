#pragma once

#include "platform/CommandRunner.h"

#include <QTimer>
#include <memory>
#include <sys/types.h>

class QSocketNotifier;

namespace velkor {

// The command runner on Linux: posix_spawn of /bin/sh -c COMMAND (the
// command's text as the shell's one argument, never combined with values),
// with the program's environment as changed, standard input from /dev/null,
// standard output onto standard error, no descriptor of the program's
// beyond those three, and every signal at its default disposition and
// unblocked (the program ignores SIGPIPE; a shell pipeline must not). The
// child is watched through a pidfd on the event loop, so nothing waits
// for it and no SIGCHLD handler is needed; where the kernel has no pidfd, a
// timer looks every 100 ms. A command still running when the runner goes
// is left to run on.
class ShellCommandRunner final : public CommandRunner {
public:
    ShellCommandRunner();
    ~ShellCommandRunner() override;

    bool start(const QString& command, const CommandEnvironment& environment,
               QString* error) override;
    bool running() const override { return pid_ > 0; }
    bool waitForEnd(int timeoutMs) override;

    pid_t pid() const { return pid_; }

private:
    // Reaps the child when it has ended; true then.
    bool reap();
    void stopWatching();

    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer poll_;
};

} // namespace velkor
