#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <sys/types.h>

namespace velkor::test {

// A program run by a test with fork and exec (no vfork: ThreadSanitizer
// follows fork, not a child that shares the parent's memory). Its standard
// output and error go to a file, or to a pipe the test reads. Killed and
// reaped at the end if still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // outputFile empty: standard output into a pipe (readOutput), standard
    // error to the test's own.
    bool start(const QString& program, const QStringList& args, const QString& outputFile = {});
    pid_t pid() const { return pid_; }
    bool running();
    void signal(int sig) const;
    // Waits for the end, up to `timeout`.
    bool wait(std::chrono::milliseconds timeout);
    // Runs to the end and says whether it exited with 0.
    bool run(const QString& program, const QStringList& args, std::chrono::milliseconds timeout,
             const QString& outputFile = {});

    bool exited() const { return exited_; }
    int exitCode() const { return exitCode_; }
    int termSignal() const { return termSignal_; }

    // Waits until the standard output (pipe) holds `text`; returns all
    // that was read.
    QByteArray waitForOutput(const QByteArray& text, std::chrono::milliseconds timeout);

private:
    void reap(int status);

    pid_t pid_ = -1;
    int outFd_ = -1;
    QByteArray output_;
    bool exited_ = false;
    int exitCode_ = -1;
    int termSignal_ = 0;
};

} // namespace velkor::test
