#include "support/broker/MosquittoBroker.h"

#include "support/broker/ServerStart.h"

#include <QFile>
#include <QThread>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velkor::test {

namespace {

constexpr std::chrono::milliseconds kStartTimeout{20000};
constexpr std::chrono::milliseconds kStopTimeout{20000};

sockaddr_in loopback(quint16 port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

} // namespace

quint16 freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

MosquittoBroker::MosquittoBroker() : MosquittoBroker(Options{}) {}

MosquittoBroker::MosquittoBroker(Options options) : options_(std::move(options)) {}

MosquittoBroker::~MosquittoBroker() = default; // the child is killed with it

QString MosquittoBroker::writeConfig() {
    const QString dir = dir_.path();
    QString conf;
    conf += QStringLiteral("listener %1 127.0.0.1\n").arg(port_);
    if (!options_.certFile.isEmpty()) {
        conf += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                    .arg(options_.caFile, options_.certFile, options_.keyFile);
    }
    if (options_.persistence) {
        conf += QStringLiteral("persistence true\npersistence_location %1/\nautosave_interval 0\n")
                    .arg(dir);
    } else {
        conf += QStringLiteral("persistence false\n");
    }
    // A test subscriber slower than the publisher must not lose messages
    // in the broker (1000 queued per client by default).
    conf += QStringLiteral("max_queued_messages 0\n");
    if (!options_.user.isEmpty()) {
        const QString passwords = dir + QStringLiteral("/passwords");
        ChildProcess tool;
        const QString log = dir + QStringLiteral("/mosquitto_passwd.log");
        if (!tool.run(QStringLiteral(VELKOR_MOSQUITTO_PASSWD),
                      {QStringLiteral("-b"), QStringLiteral("-c"), passwords, options_.user,
                       options_.password},
                      kStartTimeout, log)) {
            QFile out(log);
            out.open(QIODevice::ReadOnly);
            return QStringLiteral("mosquitto_passwd failed: ") +
                   QString::fromLocal8Bit(out.readAll());
        }
        conf += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
    } else {
        conf += QStringLiteral("allow_anonymous true\n");
    }
    // Run as root, the broker would switch to its own user, which cannot
    // read this directory: stay the user that runs the test.
    if (const passwd* pw = ::getpwuid(::geteuid())) {
        conf += QStringLiteral("user %1\n").arg(QString::fromLocal8Bit(pw->pw_name));
    }
    conf += QStringLiteral("log_dest stderr\nlog_type all\n");
    QFile file(dir + QStringLiteral("/mosquitto.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(conf.toUtf8()) != conf.toUtf8().size()) {
        return QStringLiteral("cannot write ") + file.fileName();
    }
    return {};
}

bool MosquittoBroker::acceptsConnections() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = loopback(port_);
    const bool ok =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

QString MosquittoBroker::start() {
    if (!dir_.isValid()) {
        return QStringLiteral("no temporary directory");
    }
    ServerLaunch launch;
    launch.name = QStringLiteral("the broker");
    launch.program = QStringLiteral(VELKOR_MOSQUITTO);
    launch.arguments = {QStringLiteral("-c"), dir_.path() + QStringLiteral("/mosquitto.conf")};
    launch.logFile = dir_.path() + QStringLiteral("/broker.log");
    launch.choosePorts = [this] { port_ = freeLoopbackPort(); };
    launch.writeConfig = [this] { return writeConfig(); };
    launch.ready = [this] { return acceptsConnections(); };
    launch.output = [this] { return output(); };
    launch.timeout = kStartTimeout;
    launch.poll = std::chrono::milliseconds(5);
    return startServer(launch, port_ != 0, process_);
}

void MosquittoBroker::stop() {
    if (!process_ || !process_->running()) {
        return;
    }
    resume();
    process_->signal(SIGTERM);
    if (!process_->wait(kStopTimeout)) {
        process_->signal(SIGKILL);
        process_->wait(kStopTimeout);
    }
}

void MosquittoBroker::stopUnread() {
    if (!process_ || !process_->running()) {
        return;
    }
    pause();
    process_->signal(SIGTERM);
    resume();
    if (!process_->wait(kStopTimeout)) {
        process_->signal(SIGKILL);
        process_->wait(kStopTimeout);
    }
}

void MosquittoBroker::pause() {
    if (process_ && process_->running()) {
        process_->signal(SIGSTOP);
        paused_ = true;
    }
}

void MosquittoBroker::resume() {
    if (paused_ && process_) {
        process_->signal(SIGCONT);
        paused_ = false;
    }
}

QString MosquittoBroker::output() const {
    QFile log(dir_.path() + QStringLiteral("/broker.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

} // namespace velkor::test
