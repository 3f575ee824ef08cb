#include "mqtt/MqttPublisher.h"

#include "mqtt/PublisherState.h"
#include "mqtt/PublisherThread.h"
#include "outbox/QuietThread.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <sys/eventfd.h>

namespace velkor::mqtt {

using Clock = PublisherClock;
using std::chrono::milliseconds;

namespace {

// Beyond the flush time and the close grace, how long stop() waits for the
// thread to end before leaving it.
constexpr milliseconds kJoinMargin{1000};

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttPublisher::MqttPublisher(MqttPublisherOptions options, EventHandler onEvent)
    : shared_(std::make_shared<PublisherState>(std::move(options), std::move(onEvent))) {}

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
    if (o.status) {
        if (const int rc =
                mosquitto_will_set(client, statusTopic.constData(), int(sizeof kStatusOffline - 1),
                                   kStatusOffline, 1, true)) {
            return fail(QStringLiteral("the MQTT topic '%1' is not accepted: %2")
                            .arg(o.url.statusTopic(), libraryError(rc)));
        }
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

    shared_->accepting = true;
    thread_ = outbox::quietThread([shared = shared_, client] {
        PublisherThread worker(shared, client);
        worker.run();
    });
    started_ = true;
    return std::nullopt;
}

bool MqttPublisher::publish(const json::JsonReading& reading) {
    if (!shared_->accepting) {
        return false;
    }
    return publishPayload(json::readingJson(reading));
}

bool MqttPublisher::publishPayload(QByteArray json) {
    PublisherState& s = *shared_;
    if (!s.accepting) {
        return false;
    }
    const outbox::PublishQueue::PushResult r = s.queue.push(std::move(json));
    if (r.episodeStarted || !s.wakePending.exchange(true)) {
        s.wake();
    }
    return true;
}

bool MqttPublisher::keepRetained(const QByteArray& topic, QByteArray payload) {
    PublisherState& s = *shared_;
    if (!s.accepting) {
        return false;
    }
    {
        std::lock_guard lock(s.retainedMutex);
        const auto found = s.retainedIndex.constFind(topic);
        std::size_t i = 0;
        if (found == s.retainedIndex.cend()) {
            i = s.retained.size();
            s.retained.push_back({topic, {}, 0, 0, 0});
            s.retainedIndex.insert(topic, i);
        } else {
            i = found.value();
        }
        RetainedTopic& t = s.retained[i];
        t.payload = std::move(payload);
        ++t.version;
    }
    s.retainedDirty = true;
    if (!s.wakePending.exchange(true)) {
        s.wake();
    }
    return true;
}

bool MqttPublisher::stop(milliseconds timeout) {
    if (!started_ || stopped_) {
        return stopResult_;
    }
    stopped_ = true;
    PublisherState& s = *shared_;
    s.accepting = false;
    const Clock::time_point flushUntil = Clock::now() + std::max(timeout, milliseconds(0));
    s.flushUntil = flushUntil.time_since_epoch().count();
    s.stopRequested = true;
    s.wake();
    bool finished = false;
    {
        std::unique_lock lock(s.mutex);
        finished = s.finishedCv.wait_until(lock, flushUntil + kPublisherCloseGrace + kJoinMargin,
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
    stopResult_ = finished && !s.fatal && s.queue.empty() && s.retainedPending() == 0;
    return stopResult_;
}

std::optional<QString> MqttPublisher::fatalError() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->fatal;
}

MqttPublisherStats MqttPublisher::stats() const {
    const PublisherState& s = *shared_;
    const outbox::PublishQueue::Counts c = s.queue.counts();
    MqttPublisherStats stats;
    stats.connected = s.connected;
    stats.attempts = s.attempts;
    stats.connections = s.connections;
    stats.waiting = c.waiting;
    stats.inFlight = c.inFlight;
    stats.delivered = c.acknowledged;
    stats.dropped = c.dropped;
    stats.retainedPending = shared_->retainedPending();
    return stats;
}

const MqttUrl& MqttPublisher::url() const {
    return shared_->options.url;
}

} // namespace velkor::mqtt
