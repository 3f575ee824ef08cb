#include "http/LiveServer.h"

#include "http/Bodies.h"
#include "http/ServerCore.h"

#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velkor::http {

namespace {

constexpr size_t kConnectionMemory = 32 * 1024; // request headers and buffers
constexpr int kListenBacklog = 64;
constexpr int kPollWithoutWakeMs = 20; // if no eventfd could be made
constexpr std::chrono::milliseconds kBatch{20};

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

// The listening socket, made here so that a failure has its reason (a port
// in use, an address not on this machine).
int listenOn(const ListenAddress& a, quint16* port, QString* error) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const QByteArray host = a.host.toLatin1();
    if (a.ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(a.port);
        ::inet_pton(AF_INET6, host.constData(), &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(a.port);
        ::inet_pton(AF_INET, host.constData(), &in4->sin_addr);
        length = sizeof *in4;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = systemError("socket");
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::listen(fd, kListenBacklog) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    *port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return fd;
}

QByteArray readPackaged(const QString& path, QStringList* missing) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        missing->append(path);
        return {};
    }
    return f.readAll();
}

// A request is answered once it is whole, so that the connection can serve
// the next one. One that is no GET or HEAD, or that comes with a body, is
// answered at once: the connection closes after, without reading the body.
MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char*, size_t* uploadSize, void** requestContext) {
    static int whole;
    auto* core = static_cast<ServerCore*>(cls);
    if (*requestContext == nullptr) {
        *requestContext = &whole;
        const bool bodyless =
            (std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
             std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0) &&
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                        MHD_HTTP_HEADER_CONTENT_LENGTH) == nullptr &&
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                        MHD_HTTP_HEADER_TRANSFER_ENCODING) == nullptr;
        return bodyless ? MHD_YES : core->answer(connection, url, method);
    }
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    return core->answer(connection, url, method);
}

void onConnection(void* cls, MHD_Connection*, void**, MHD_ConnectionNotificationCode code) {
    auto* core = static_cast<ServerCore*>(cls);
    core->connections += code == MHD_CONNECTION_NOTIFY_STARTED ? 1 : -1;
    core->state.setConnections(core->connections);
}

} // namespace

ServerCore::ServerCore(LiveServerOptions o)
    : options(std::move(o)), handOff(options.handOffRows), state(options.heldRows) {
    policy.token = options.token;
    policy.checkHost = options.token.isEmpty() && options.listen.isLoopback();
}

ServerCore::~ServerCore() {
    stop(std::chrono::milliseconds(0));
}

std::optional<QString> ServerCore::start() {
    const QString dir = options.chartDirectory;
    chartScript = readPackaged(dir + QStringLiteral("/dygraph.min.js"), &missingFiles);
    chartStyle = readPackaged(dir + QStringLiteral("/dygraph.min.css"), &missingFiles);
    displayFont = readPackaged(options.displayFont, &missingFiles);

    QString error;
    const int fd = listenOn(options.listen, &port, &error);
    if (fd < 0) {
        return error;
    }
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (options.listen.ipv6) {
        flags |= MHD_USE_IPv6;
    }
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &onRequest, this, MHD_OPTION_LISTEN_SOCKET, fd,
        MHD_OPTION_CONNECTION_LIMIT, options.connectionLimit, MHD_OPTION_CONNECTION_TIMEOUT,
        options.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
        MHD_OPTION_NOTIFY_CONNECTION, &onConnection, this, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        ::close(fd);
        return QStringLiteral("the HTTP server library could not start");
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    epollFd_ = info != nullptr ? info->epoll_fd : -1;

    // The thread takes no signals: they stay with the logger's.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    thread_ = std::thread([this] { run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return std::nullopt;
}

bool ServerCore::absorbHandOff() {
    const RowHandOff::Missed missed = handOff.take(items_);
    state.absorbMissed(missed);
    for (RowHandOff::Item& item : items_) {
        state.absorb(item);
    }
    return !items_.empty() || missed.rows > 0;
}

void ServerCore::wakeStreams(bool keepAlive) {
    // A stream may end (and leave the set) only inside MHD_run, not here.
    for (EventStream* s : streams) {
        s->wake(keepAlive);
    }
}

void ServerCore::run() {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    const auto keepAliveEvery = std::chrono::seconds(options.keepAliveSeconds);
    auto nextKeepAlive = Clock::now() + keepAliveEvery;
    // Rows are taken in batches: after one, the next comes no sooner than
    // kBatch later, so that a fast logger wakes the server (and the server
    // its streams) tens of times a second, not once a row.
    auto nextBatch = Clock::now();
    Clock::time_point endBy{};
    for (;;) {
        auto now = Clock::now();
        if (now >= nextBatch) {
            bool news = absorbHandOff();
            if (stopRequested_.load() && !ending) {
                ending = true;
                endBy = now + grace_;
                news = true;
            }
            const bool keepAlive = now >= nextKeepAlive;
            if (keepAlive) {
                nextKeepAlive = now + keepAliveEvery;
            }
            if (news || keepAlive) {
                wakeStreams(keepAlive);
                nextBatch = now + kBatch;
            }
        }
        MHD_run(daemon_);
        now = Clock::now();
        if (ending && (streams.empty() || now >= endBy)) {
            break;
        }
        auto until = nextKeepAlive;
        if (ending) {
            until = std::min(until, endBy);
        }
        const bool batchDue = now >= nextBatch;
        if (!batchDue) {
            until = std::min(until, nextBatch);
        }
        auto wait = std::chrono::duration_cast<milliseconds>(until - now);
        MHD_UNSIGNED_LONG_LONG mhdTimeout = 0;
        if (MHD_get_timeout(daemon_, &mhdTimeout) == MHD_YES) {
            wait = std::min(wait, milliseconds(static_cast<qint64>(mhdTimeout)));
        }
        if (handOff.wakeFd() < 0) {
            wait = std::min(wait, milliseconds(kPollWithoutWakeMs));
        }
        // The hand-off's wake-up counts only once a batch is due.
        pollfd fds[2] = {{epollFd_, POLLIN, 0}, {batchDue ? handOff.wakeFd() : -1, POLLIN, 0}};
        ::poll(fds, 2, static_cast<int>(std::max<qint64>(1, wait.count() + 1)));
    }
    // No connection may stay suspended when the daemon stops.
    wakeStreams(false);
    MHD_run(daemon_);
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
}

void ServerCore::stop(std::chrono::milliseconds grace) {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    if (!thread_.joinable()) {
        return;
    }
    grace_ = grace;
    stopRequested_.store(true);
    handOff.push(LinkState::Ended); // and wakes the thread
    thread_.join();
}

LiveServer::LiveServer(LiveServerOptions options)
    : core_(std::make_unique<ServerCore>(std::move(options))) {}

LiveServer::~LiveServer() = default;

std::optional<QString> LiveServer::start() {
    return core_->start();
}

quint16 LiveServer::port() const {
    return core_->port;
}

QString LiveServer::url() const {
    return QStringLiteral("http://%1/").arg(core_->options.listen.hostPort(core_->port));
}

QStringList LiveServer::missingFiles() const {
    return core_->missingFiles;
}

void LiveServer::addRow(LiveRow row) {
    core_->handOff.push(row);
}

void LiveServer::setLink(LinkState state) {
    core_->handOff.push(state);
}

void LiveServer::setLimits(const QString& hi, const QString& lo) {
    core_->handOff.push(RowHandOff::Limits{hi, lo});
}

void LiveServer::stop(std::chrono::milliseconds grace) {
    core_->stop(grace);
}

} // namespace velkor::http
