#include "mqtt/PublisherThread.h"

#include <algorithm>
#include <cerrno>
#include <mosquitto.h>
#include <poll.h>

namespace velkor::mqtt {

using Clock = PublisherClock;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kCloseGrace = kPublisherCloseGrace;
// The thread looks at the connection at least this often (keep-alive).
constexpr milliseconds kMaxWait{1000};

int pollMilliseconds(Clock::time_point until) {
    const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kMaxWait.count()));
}

} // namespace

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
            const bool flushed = s_.queue.empty() && s_.retainedPending() == 0;
            if (closing == Closing::No && up_ && (flushed || now >= flushUntil)) {
                int mid = 0;
                if (s_.options.status &&
                    mosquitto_publish(mosq_, &mid, statusTopic_.constData(),
                                      int(sizeof kStatusOffline - 1), kStatusOffline, 1,
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
    if (s_.options.status) {
        mosquitto_publish(mosq_, nullptr, statusTopic_.constData(), int(sizeof kStatusOnline - 1),
                          kStatusOnline, 1, true);
    }
    // Every kept topic again: the broker may have lost it.
    {
        std::lock_guard lock(s_.retainedMutex);
        for (RetainedTopic& t : s_.retained) {
            t.sent = 0;
        }
    }
    s_.retainedDirty = true;
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

void PublisherThread::pumpRetained() {
    if (!s_.retainedDirty.exchange(false)) {
        return;
    }
    std::lock_guard lock(s_.retainedMutex);
    for (std::size_t i = 0; i < s_.retained.size(); ++i) {
        RetainedTopic& t = s_.retained[i];
        if (t.sent == t.version) {
            continue;
        }
        int mid = 0;
        const int rc = mosquitto_publish(mosq_, &mid, t.topic.constData(), int(t.payload.size()),
                                         t.payload.constData(), 1, true);
        if (rc == MOSQ_ERR_SUCCESS) {
            retainedMids_[mid] = {i, t.version};
            t.sent = t.version;
        } else if (rc == MOSQ_ERR_NO_CONN) {
            s_.retainedDirty = true; // again on the next connection
        } else {
            // Refused by the library itself (a topic it does not take): it
            // would be refused again, so it counts as done.
            t.sent = t.acknowledged = t.version;
            if (!publishErrorSaid_) {
                publishErrorSaid_ = true;
                s_.notify(MqttEventKind::RowsUndelivered,
                          QStringLiteral("MQTT broker %1: '%2' could not be published (%3)")
                              .arg(s_.broker, QString::fromUtf8(t.topic),
                                   QString::fromUtf8(mosquitto_strerror(rc))),
                          1);
            }
        }
    }
}

void PublisherThread::retainedAcknowledged(std::size_t index, std::uint64_t version) {
    std::lock_guard lock(s_.retainedMutex);
    if (index < s_.retained.size()) {
        RetainedTopic& t = s_.retained[index];
        t.acknowledged = std::max(t.acknowledged, version);
    }
}

void PublisherThread::pump() {
    s_.wakePending = false;
    pumpRetained();
    const std::vector<outbox::PublishQueue::Message> rows = s_.queue.take(window_);
    for (const outbox::PublishQueue::Message& row : rows) {
        int mid = 0;
        const QByteArray& topic = row.topic.isEmpty() ? readingTopic_ : row.topic;
        const int rc = mosquitto_publish(mosq_, &mid, topic.constData(), int(row.payload.size()),
                                         row.payload.constData(), 1, false);
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
    const outbox::PublishQueue::DropReport report = s_.queue.takeDropReport(ending);
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
    const outbox::PublishQueue::Counts c = s_.queue.counts();
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

} // namespace velkor::mqtt
