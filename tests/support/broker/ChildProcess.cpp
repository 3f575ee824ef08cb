#include "support/broker/ChildProcess.h"

#include <QFile>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velkor::test {

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (outFd_ >= 0) {
        ::close(outFd_);
    }
}

bool ChildProcess::start(const QString& program, const QStringList& args,
                         const QString& outputFile) {
    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> strings;
    strings.push_back(QFile::encodeName(program).toStdString());
    for (const QString& a : args) {
        strings.push_back(a.toLocal8Bit().toStdString());
    }
    std::vector<char*> argv;
    for (std::string& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    const QByteArray file = QFile::encodeName(outputFile);
    int pipeFds[2] = {-1, -1};
    if (outputFile.isEmpty() && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    exited_ = false;
    exitCode_ = -1;
    termSignal_ = 0;
    output_.clear();
    pid_ = ::fork();
    if (pid_ == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (file.isEmpty()) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
        } else {
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (fd >= 0) {
                ::dup2(fd, STDOUT_FILENO);
                ::dup2(fd, STDERR_FILENO);
            }
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pipeFds[1] >= 0) {
        ::close(pipeFds[1]);
    }
    if (pid_ < 0) {
        if (pipeFds[0] >= 0) {
            ::close(pipeFds[0]);
        }
        return false;
    }
    outFd_ = pipeFds[0];
    return true;
}

void ChildProcess::reap(int status) {
    pid_ = -1;
    exited_ = WIFEXITED(status);
    exitCode_ = exited_ ? WEXITSTATUS(status) : -1;
    termSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool ChildProcess::running() {
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        reap(status);
        return false;
    }
    return true;
}

void ChildProcess::signal(int sig) const {
    if (pid_ > 0) {
        ::kill(pid_, sig);
    }
}

bool ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

bool ChildProcess::run(const QString& program, const QStringList& args,
                       std::chrono::milliseconds timeout, const QString& outputFile) {
    return start(program, args, outputFile) && wait(timeout) && exited_ && exitCode_ == 0;
}

QByteArray ChildProcess::waitForOutput(const QByteArray& text, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (outFd_ >= 0 && !output_.contains(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd fd{outFd_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(outFd_, buf, sizeof buf);
        if (n <= 0) {
            break; // the child closed its output
        }
        output_.append(buf, n);
    }
    return output_;
}

} // namespace velkor::test
