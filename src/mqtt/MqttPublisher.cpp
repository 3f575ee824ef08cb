#include "mqtt/MqttPublisher.h"

#include "mqtt/MqttFailure.h"
#include "mqtt/PublishQueue.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_set>

namespace velkor::mqtt {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// After the flush time of stop(): for "offline" to be acknowledged and the
// DISCONNECT to go out.
constexpr milliseconds kCloseGrace{1000};
// Beyond that, how long stop() waits for the thread to end before leaving it.
constexpr milliseconds kJoinMargin{1000};
// The thread looks at the connection at least this often (keep-alive).
constexpr milliseconds kMaxWait{1000};

constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

int pollMilliseconds(Clock::time_point until) {
    const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kMaxWait.count()));
}

std::size_t flightWindow(const MqttPublisherOptions& o) {
    const std::size_t wanted = static_cast<std::size_t>(std::clamp(o.maxInFlight, 1, 65535));
    return std::max<std::size_t>(1, std::min(wanted, o.queueCapacity / 2));
}

} // namespace

struct MqttPublisher::Shared {
    Shared(MqttPublisherOptions o, EventHandler h)
        : options(std::move(o)), handler(std::move(h)), queue(options.queueCapacity),
          broker(options.url.brokerText()) {}
    ~Shared() {
        if (wakeFd >= 0) {
            ::close(wakeFd);
        }
    }

    const MqttPublisherOptions options;
    const EventHandler handler;
    PublishQueue queue;
    const QString broker;

    int wakeFd = -1;
    std::atomic<bool> wakePending{false}; // a wake-up is on its way, no need for another
    std::atomic<bool> accepting{false};   // publish() takes rows
    std::atomic<bool> stopRequested{false};
    std::atomic<Clock::rep> flushUntil{0}; // written before stopRequested
    std::atomic<bool> connected{false};
    std::atomic<std::uint64_t> attempts{0};
    std::atomic<std::uint64_t> connections{0};

    mutable std::mutex mutex; // fatal, finished
    std::optional<QString> fatal;
    bool finished = false;
    std::condition_variable finishedCv;

    std::mutex eventMutex; // held while the handler runs
    bool eventsOpen = true;

    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    void notify(MqttEventKind kind, const QString& message, std::uint64_t count = 0) {
        std::lock_guard lock(eventMutex);
        if (eventsOpen && handler) {
            handler(MqttEvent{kind, message, count});
        }
    }

    Clock::time_point flushDeadline() const {
        return Clock::time_point(Clock::duration(flushUntil.load()));
    }
};

namespace {

// The publisher's thread: owns the libmosquitto client and makes every call
// into it, so the library sees one thread only.
class PublisherThread {
public:
    PublisherThread(std::shared_ptr<MqttPublisher::Shared> shared, mosquitto* client)
        : shared_(std::move(shared)), s_(*shared_), mosq_(client),
          host_(s_.options.url.host.toUtf8()),
          readingTopic_(s_.options.url.readingTopic().toUtf8()),
          statusTopic_(s_.options.url.statusTopic().toUtf8()), window_(flightWindow(s_.options)) {
        mosquitto_user_data_set(mosq_, this);
        mosquitto_connect_callback_set(mosq_, &PublisherThread::onConnect);
        mosquitto_disconnect_callback_set(mosq_, &PublisherThread::onDisconnect);
        mosquitto_publish_callback_set(mosq_, &PublisherThread::onPublish);
        mosquitto_log_callback_set(mosq_, &PublisherThread::onLog);
    }
    ~PublisherThread() { mosquitto_destroy(mosq_); }
    PublisherThread(const PublisherThread&) = delete;
    PublisherThread& operator=(const PublisherThread&) = delete;

    void run();

private:
    enum class End { Failed, Lost, Fatal, Stopped };
    struct Result {
        End end;
        QString reason;
    };
    enum class Closing { No, AwaitOffline, Disconnecting };

    Result runConnection();
    // Waits until the connection, a wake-up or `wakeAt` needs something,
    // and lets the library read, write and keep the connection alive.
    int service(Clock::time_point wakeAt);
    void waitFor(milliseconds pause);
    void pump();
    void drainWake();
    void reportDrops(bool ending);
    void finish();
    void connected(int returnCode);
    void sayTrouble(MqttEventKind kind, const QString& message);

    static void onConnect(mosquitto*, void* self, int rc) {
        const int error = errno;
        static_cast<PublisherThread*>(self)->connected(rc);
        errno = error;
    }
    static void onDisconnect(mosquitto*, void* self, int rc) {
        auto* t = static_cast<PublisherThread*>(self);
        t->disconnectRc_ = rc;
        t->up_ = false;
        t->s_.connected = false;
    }
    static void onPublish(mosquitto*, void* self, int mid) {
        auto* t = static_cast<PublisherThread*>(self);
        if (t->readingMids_.erase(mid) > 0) {
            t->s_.queue.acknowledge();
        } else if (mid == t->offlineMid_) {
            t->offlineAcked_ = true;
        }
    }
    // The callbacks run inside library calls whose errno is read after them.
    static void onLog(mosquitto*, void* self, int level, const char* text) {
        const int error = errno;
        if (level & MOSQ_LOG_ERR) {
            static_cast<PublisherThread*>(self)->libraryError_ = QString::fromUtf8(text);
        }
        errno = error;
    }

    std::shared_ptr<MqttPublisher::Shared> shared_;
    MqttPublisher::Shared& s_;
    mosquitto* mosq_;
    const QByteArray host_;
    const QByteArray readingTopic_;
    const QByteArray statusTopic_;
    const std::size_t window_;

    std::unordered_set<int> readingMids_; // rows handed to the library, not acknowledged
    int offlineMid_ = -1;
    bool offlineAcked_ = false;
    bool up_ = false;                    // the current connection has been accepted and is up
    bool wasUp_ = false;                 // the current connection had been accepted
    int disconnectRc_ = 0;               // why the library closed the current connection
    std::optional<MqttFailure> refusal_; // the current connection was refused
    QString libraryError_;               // the last error libmosquitto logged
    QString lastFailureSaid_;            // a failure that repeats is said once
    bool trouble_ = false;               // a failure or loss was said and no connection since
    Clock::time_point troubleSince_;
    bool publishErrorSaid_ = false;
};

void PublisherThread::run() {
    milliseconds pause = s_.options.minBackoff;
    while (!s_.stopRequested) {
        const Result r = runConnection();
        if (r.end == End::Fatal || r.end == End::Stopped || s_.stopRequested) {
            break;
        }
        if (r.end == End::Lost) {
            pause = s_.options.minBackoff;
            lastFailureSaid_.clear();
            sayTrouble(MqttEventKind::ConnectionLost,
                       QStringLiteral("MQTT broker %1: connection lost (%2); reconnecting, rows "
                                      "wait in the queue")
                           .arg(s_.broker, r.reason));
        } else if (r.reason != lastFailureSaid_) {
            lastFailureSaid_ = r.reason;
            sayTrouble(MqttEventKind::ConnectFailed,
                       QStringLiteral("MQTT broker %1: %2; trying again in the background, rows "
                                      "wait in the queue (up to %3)")
                           .arg(s_.broker, r.reason)
                           .arg(s_.queue.capacity()));
        }
        waitFor(pause);
        if (r.end == End::Failed) {
            pause = std::min(pause * 2, std::max(s_.options.maxBackoff, s_.options.minBackoff));
        }
    }
    finish();
}

void PublisherThread::sayTrouble(MqttEventKind kind, const QString& message) {
    if (!trouble_) {
        trouble_ = true;
        troubleSince_ = Clock::now();
    }
    s_.notify(kind, message);
}

PublisherThread::Result PublisherThread::runConnection() {
    ++s_.attempts;
    libraryError_.clear();
    refusal_.reset();
    up_ = wasUp_ = false;
    disconnectRc_ = 0;
    offlineMid_ = -1;
    offlineAcked_ = false;

    errno = 0;
    const int rc = mosquitto_connect(mosq_, host_.constData(), s_.options.url.port,
                                     std::max(s_.options.keepAliveSeconds, 5));
    if (rc != MOSQ_ERR_SUCCESS) {
        const int error = errno;
        return {End::Failed, connectFailure(rc, error, s_.options.url.host, libraryError_).reason};
    }

    Closing closing = Closing::No;
    while (true) {
        reportDrops(false);
        if (up_ && closing == Closing::No) {
            pump();
        }
        const Clock::time_point now = Clock::now();
        Clock::time_point wakeAt = now + kMaxWait;
        if (s_.stopRequested) {
            const Clock::time_point flushUntil = s_.flushDeadline();
            const Clock::time_point closeUntil = flushUntil + kCloseGrace;
            if (closing == Closing::No && up_ && (s_.queue.empty() || now >= flushUntil)) {
                int mid = 0;
                if (mosquitto_publish(mosq_, &mid, statusTopic_.constData(),
                                      int(sizeof kOffline - 1), kOffline, 1,
                                      true) == MOSQ_ERR_SUCCESS) {
                    offlineMid_ = mid;
                    closing = Closing::AwaitOffline;
                } else {
                    mosquitto_disconnect(mosq_);
                    closing = Closing::Disconnecting;
                }
            }
            if (closing == Closing::AwaitOffline && (offlineAcked_ || now >= closeUntil)) {
                mosquitto_disconnect(mosq_);
                closing = Closing::Disconnecting;
            }
            if (closing == Closing::No && !up_ && now >= flushUntil) {
                return {End::Stopped, {}}; // still waiting for the broker's answer
            }
            if (closing != Closing::No && now >= closeUntil) {
                return {End::Stopped, {}};
            }
            wakeAt = std::min(wakeAt, closing == Closing::No ? flushUntil : closeUntil);
        }

        // Rows just handed over go out now rather than after a poll.
        errno = 0;
        int rc = MOSQ_ERR_SUCCESS;
        if (up_ && mosquitto_want_write(mosq_)) {
            rc = mosquitto_loop_write(mosq_, 1);
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = service(wakeAt);
        }
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0) {
            continue;
        }
        // The connection has ended (after DISCONNECT the library closes the
        // socket and reports success).
        const int error = errno;
        up_ = false;
        s_.connected = false;
        if (closing == Closing::Disconnecting) {
            return {End::Stopped, {}};
        }
        if (refusal_) {
            if (refusal_->fatal) {
                const QString message = QStringLiteral("MQTT broker %1: %2; giving up")
                                            .arg(s_.broker, refusal_->reason);
                {
                    std::lock_guard lock(s_.mutex);
                    s_.fatal = message;
                }
                s_.accepting = false;
                s_.notify(MqttEventKind::Fatal, message);
                return {End::Fatal, refusal_->reason};
            }
            return {End::Failed, refusal_->reason};
        }
        // MOSQ_ERR_NO_CONN or success: the library had closed the socket
        // itself and told the disconnect callback why.
        const int why = (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN) && disconnectRc_ != 0
                            ? disconnectRc_
                            : rc;
        const QString reason = connectionFailure(why, error, libraryError_).reason;
        return {wasUp_ ? End::Lost : End::Failed, reason};
    }
}

int PublisherThread::service(Clock::time_point wakeAt) {
    pollfd fds[2] = {{s_.wakeFd, POLLIN, 0}, {mosquitto_socket(mosq_), 0, 0}};
    if (fds[1].fd < 0) {
        return MOSQ_ERR_NO_CONN;
    }
    // Acknowledgements are read as soon as they come only when they are
    // awaited: on the way up, when the flight window is full, when stopping.
    // Otherwise they wait for the next row (or a second at most), which
    // spares a wake-up per row at the meter's pace.
    const bool awaitBroker = !up_ || s_.stopRequested || readingMids_.size() >= window_;
    if (awaitBroker) {
        fds[1].events |= POLLIN;
    }
    if (mosquitto_want_write(mosq_)) {
        fds[1].events |= POLLOUT;
    }
    int ready = ::poll(fds, 2, pollMilliseconds(wakeAt));
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        drainWake();
        if (up_ && !awaitBroker && s_.options.batchDelay.count() > 0) {
            // New rows: let more gather before they are handed over (the
            // logging side does not wake this thread again meanwhile).
            ready =
                ::poll(&fds[1], 1,
                       pollMilliseconds(std::min(wakeAt, Clock::now() + s_.options.batchDelay)));
        }
    }
    errno = 0;
    if (!up_) {
        // On the way up (TCP, TLS handshake, CONNACK): the library's own
        // loop knows each step.
        return mosquitto_loop(mosq_, 0, 1);
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (!awaitBroker || (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
        rc = mosquitto_loop_read(mosq_, 1); // nothing to read is no error
    }
    if (rc == MOSQ_ERR_SUCCESS && (fds[1].revents & POLLOUT) && mosquitto_socket(mosq_) >= 0 &&
        mosquitto_want_write(mosq_)) {
        rc = mosquitto_loop_write(mosq_, 1);
    }
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0) {
        rc = mosquitto_loop_misc(mosq_); // keep-alive
    }
    return rc;
}

void PublisherThread::connected(int returnCode) {
    if (returnCode != 0) {
        refusal_ = connackFailure(returnCode, s_.options.url.user);
        return;
    }
    up_ = wasUp_ = true;
    s_.connected = true;
    ++s_.connections;
    lastFailureSaid_.clear();
    // Inside the callback the library only queues this; it goes out before
    // the rows of the last connection are sent again.
    mosquitto_publish(mosq_, nullptr, statusTopic_.constData(), int(sizeof kOnline - 1), kOnline, 1,
                      true);
    QString message = QStringLiteral("MQTT broker %1: connected").arg(s_.broker);
    if (trouble_) {
        const auto away =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - troubleSince_);
        const auto c = s_.queue.counts();
        message =
            QStringLiteral("MQTT broker %1: connected again after %2 s; sending %3 queued rows")
                .arg(s_.broker)
                .arg(away.count())
                .arg(c.waiting + c.inFlight);
        trouble_ = false;
    }
    s_.notify(MqttEventKind::Connected, message);
}

void PublisherThread::pump() {
    s_.wakePending = false;
    const std::vector<QByteArray> rows = s_.queue.take(window_);
    for (const QByteArray& row : rows) {
        int mid = 0;
        const int rc = mosquitto_publish(mosq_, &mid, readingTopic_.constData(), int(row.size()),
                                         row.constData(), 1, false);
        if (rc == MOSQ_ERR_SUCCESS) {
            readingMids_.insert(mid);
            continue;
        }
        // Refused before it was queued (too large, out of memory): it will
        // never be acknowledged.
        s_.queue.abandon();
        if (!publishErrorSaid_) {
            publishErrorSaid_ = true;
            s_.notify(MqttEventKind::RowsUndelivered,
                      QStringLiteral("MQTT broker %1: a row could not be published (%2)")
                          .arg(s_.broker, QString::fromUtf8(mosquitto_strerror(rc))),
                      1);
        }
    }
}

void PublisherThread::waitFor(milliseconds pause) {
    const Clock::time_point until = Clock::now() + pause;
    while (!s_.stopRequested) {
        reportDrops(false);
        if (Clock::now() >= until) {
            return;
        }
        pollfd fd{s_.wakeFd, POLLIN, 0};
        if (::poll(&fd, 1, pollMilliseconds(until)) > 0) {
            drainWake();
        }
    }
}

void PublisherThread::drainWake() {
    std::uint64_t n = 0;
    [[maybe_unused]] const ssize_t r = ::read(s_.wakeFd, &n, sizeof n);
}

void PublisherThread::reportDrops(bool ending) {
    const PublishQueue::DropReport report = s_.queue.takeDropReport(ending);
    if (report.started && report.ended == 0) {
        s_.notify(
            MqttEventKind::QueueFull,
            QStringLiteral("MQTT broker %1: the queue of %2 rows is full; the oldest rows are "
                           "dropped until the broker takes rows again")
                .arg(s_.broker)
                .arg(s_.queue.capacity()));
    }
    if (report.ended > 0) {
        s_.notify(MqttEventKind::RowsDropped,
                  QStringLiteral("MQTT broker %1: %2 rows were dropped while the queue was full")
                      .arg(s_.broker)
                      .arg(report.ended),
                  report.ended);
    }
}

void PublisherThread::finish() {
    reportDrops(true);
    const PublishQueue::Counts c = s_.queue.counts();
    if (const std::uint64_t left = c.waiting + c.inFlight; left > 0) {
        s_.notify(MqttEventKind::RowsUndelivered,
                  QStringLiteral("MQTT broker %1: %2 rows were not acknowledged by the broker and "
                                 "may be missing there")
                      .arg(s_.broker)
                      .arg(left),
                  left);
    }
    s_.connected = false;
    std::lock_guard lock(s_.mutex);
    s_.finished = true;
    s_.finishedCv.notify_all();
}

} // namespace

MqttPublisher::MqttPublisher(MqttPublisherOptions options, EventHandler onEvent)
    : shared_(std::make_shared<Shared>(std::move(options), std::move(onEvent))) {}

MqttPublisher::~MqttPublisher() {
    if (started_ && !stopped_) {
        stop(milliseconds(0));
    }
}

std::optional<QString> MqttPublisher::start() {
    if (started_) {
        return QStringLiteral("the MQTT publisher is already started");
    }
    initLibrary();
    const MqttPublisherOptions& o = shared_->options;
    if (!o.caFile.isEmpty() && !o.url.tls) {
        return QStringLiteral("a CA file is given but the MQTT URL is not mqtts://");
    }
    const QByteArray clientId = o.clientId.toUtf8();
    mosquitto* client =
        mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(), true, nullptr);
    if (!client) {
        return QStringLiteral("cannot make an MQTT client: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    const auto fail = [client](const QString& why) {
        mosquitto_destroy(client);
        return std::optional<QString>(why);
    };
    const auto libraryError = [](int rc) { return QString::fromUtf8(mosquitto_strerror(rc)); };

    mosquitto_threaded_set(client, true);
    mosquitto_int_option(client, MOSQ_OPT_SEND_MAXIMUM, int(flightWindow(o)));
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    if (!o.url.user.isEmpty()) {
        const QByteArray user = o.url.user.toUtf8();
        const QByteArray password = o.url.password.value_or(QString()).toUtf8();
        if (const int rc = mosquitto_username_pw_set(
                client, user.constData(), o.url.password ? password.constData() : nullptr)) {
            return fail(
                QStringLiteral("the MQTT user name is not accepted: %1").arg(libraryError(rc)));
        }
    }
    const QByteArray statusTopic = o.url.statusTopic().toUtf8();
    if (const int rc = mosquitto_will_set(client, statusTopic.constData(), int(sizeof kOffline - 1),
                                          kOffline, 1, true)) {
        return fail(QStringLiteral("the MQTT topic '%1' is not accepted: %2")
                        .arg(o.url.statusTopic(), libraryError(rc)));
    }
    if (o.url.tls) {
        if (!o.caFile.isEmpty()) {
            const QFileInfo info(o.caFile);
            if (!info.isFile() || !info.isReadable()) {
                return fail(QStringLiteral("cannot read the CA file '%1'").arg(o.caFile));
            }
            const QByteArray caFile = QFile::encodeName(o.caFile);
            if (const int rc = mosquitto_tls_set(client, caFile.constData(), nullptr, nullptr,
                                                 nullptr, nullptr)) {
                return fail(QStringLiteral("the CA file '%1' is not accepted: %2")
                                .arg(o.caFile, libraryError(rc)));
            }
        } else if (const int rc = mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)) {
            return fail(QStringLiteral("TLS with the system's CA certificates is not available: %1")
                            .arg(libraryError(rc)));
        }
    }

    shared_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared_->wakeFd < 0) {
        return fail(QStringLiteral("cannot make an event descriptor: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }

    // The thread takes no asynchronous signals: SIGINT and SIGTERM go to the
    // program's own handling, and a write to a socket the broker has closed
    // fails with EPIPE instead of raising SIGPIPE.
    sigset_t blocked;
    sigset_t previous;
    sigfillset(&blocked);
    for (const int sync : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP}) {
        sigdelset(&blocked, sync);
    }
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    shared_->accepting = true;
    thread_ = std::thread([shared = shared_, client] {
        PublisherThread worker(shared, client);
        worker.run();
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    started_ = true;
    return std::nullopt;
}

bool MqttPublisher::publish(const MqttReading& reading) {
    if (!shared_->accepting) {
        return false;
    }
    return publishPayload(readingJson(reading));
}

bool MqttPublisher::publishPayload(QByteArray json) {
    Shared& s = *shared_;
    if (!s.accepting) {
        return false;
    }
    const PublishQueue::PushResult r = s.queue.push(std::move(json));
    if (r.episodeStarted || !s.wakePending.exchange(true)) {
        s.wake();
    }
    return true;
}

bool MqttPublisher::stop(milliseconds timeout) {
    if (!started_ || stopped_) {
        return stopResult_;
    }
    stopped_ = true;
    Shared& s = *shared_;
    s.accepting = false;
    const Clock::time_point flushUntil = Clock::now() + std::max(timeout, milliseconds(0));
    s.flushUntil = flushUntil.time_since_epoch().count();
    s.stopRequested = true;
    s.wake();
    bool finished = false;
    {
        std::unique_lock lock(s.mutex);
        finished = s.finishedCv.wait_until(lock, flushUntil + kCloseGrace + kJoinMargin,
                                           [&] { return s.finished; });
    }
    if (finished) {
        thread_.join();
    } else {
        thread_.detach(); // stuck in a lookup or connect; it owns what it uses
    }
    {
        std::lock_guard lock(s.eventMutex);
        s.eventsOpen = false;
    }
    std::lock_guard lock(s.mutex);
    stopResult_ = finished && !s.fatal && s.queue.empty();
    return stopResult_;
}

std::optional<QString> MqttPublisher::fatalError() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->fatal;
}

MqttPublisherStats MqttPublisher::stats() const {
    const Shared& s = *shared_;
    const PublishQueue::Counts c = s.queue.counts();
    MqttPublisherStats stats;
    stats.connected = s.connected;
    stats.attempts = s.attempts;
    stats.connections = s.connections;
    stats.waiting = c.waiting;
    stats.inFlight = c.inFlight;
    stats.delivered = c.acknowledged;
    stats.dropped = c.dropped;
    return stats;
}

const MqttUrl& MqttPublisher::url() const {
    return shared_->options.url;
}

} // namespace velkor::mqtt
