#include "platform/linux/ShellCommandRunner.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velkor {

namespace {

constexpr int kPollMs = 100;

// The program's environment with the changes: `set` replaces or adds,
// `unset` removes.
std::vector<std::string> childEnvironment(const CommandEnvironment& changes) {
    const auto named = [](const char* entry, const QByteArray& name) {
        return std::strncmp(entry, name.constData(), static_cast<std::size_t>(name.size())) == 0 &&
               entry[name.size()] == '=';
    };
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        bool keep = true;
        for (const auto& [name, value] : changes.set) {
            keep = keep && !named(*e, name);
        }
        for (const QByteArray& name : changes.unset) {
            keep = keep && !named(*e, name);
        }
        if (keep) {
            out.emplace_back(*e);
        }
    }
    for (const auto& [name, value] : changes.set) {
        out.push_back(name.toStdString() + '=' + value.toStdString());
    }
    return out;
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Files and attributes of posix_spawn, released however start() leaves.
struct SpawnSetup {
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&files);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
    }
};

} // namespace

ShellCommandRunner::ShellCommandRunner() {
    poll_.setInterval(kPollMs);
    QObject::connect(&poll_, &QTimer::timeout, [this] { reap(); });
}

ShellCommandRunner::~ShellCommandRunner() {
    finished = nullptr;
    stopWatching();
}

bool ShellCommandRunner::start(const QString& command, const CommandEnvironment& environment,
                               QString* error) {
    if (running()) {
        *error = QStringLiteral("a command is still running");
        return false;
    }
    SpawnSetup s;
    posix_spawn_file_actions_addopen(&s.files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&s.files, 2, 1);
    posix_spawn_file_actions_addclosefrom_np(&s.files, 3);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&s.attributes, &none);
    posix_spawnattr_setsigdefault(&s.attributes, &all);
    posix_spawnattr_setflags(&s.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> env = childEnvironment(environment);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::string text = command.toLocal8Bit().toStdString();
    char sh[] = "sh";
    char dashC[] = "-c";
    char* argv[] = {sh, dashC, text.data(), nullptr};

    pid_t pid = -1;
    if (const int rc = posix_spawn(&pid, "/bin/sh", &s.files, &s.attributes, argv, envp.data());
        rc != 0) {
        *error = QStringLiteral("/bin/sh: %1").arg(errnoText(rc));
        return false;
    }
    pid_ = pid;
    // The system call itself: the C library's header for it (2.36) is not
    // ready for C++.
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ >= 0) {
        ::fcntl(pidfd_, F_SETFD, FD_CLOEXEC);
        notifier_ = std::make_unique<QSocketNotifier>(pidfd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { reap(); });
    } else {
        poll_.start();
    }
    return true;
}

bool ShellCommandRunner::reap() {
    if (pid_ <= 0) {
        return true;
    }
    int status = 0;
    pid_t r = 0;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        return false;
    }
    CommandEnd end;
    if (r < 0) {
        end.how = CommandEnd::How::Unknown;
    } else if (WIFSIGNALED(status)) {
        end.how = CommandEnd::How::Signalled;
        end.code = WTERMSIG(status);
    } else {
        end.code = WEXITSTATUS(status);
    }
    pid_ = -1;
    stopWatching();
    if (finished) {
        finished(end);
    }
    return true;
}

void ShellCommandRunner::stopWatching() {
    poll_.stop();
    if (notifier_) {
        notifier_->setEnabled(false);
        // Possibly inside its own signal: it goes once that has returned.
        notifier_.release()->deleteLater();
    }
    if (pidfd_ >= 0) {
        ::close(pidfd_);
        pidfd_ = -1;
    }
}

bool ShellCommandRunner::waitForEnd(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (running() && !reap()) {
        const qint64 left = deadline.remainingTime();
        if (left == 0) {
            return false;
        }
        if (pidfd_ >= 0) {
            pollfd fd{pidfd_, POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left < 0 ? -1 : left));
        } else {
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
        }
    }
    return true;
}

} // namespace velkor
