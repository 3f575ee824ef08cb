#pragma once

#include "mqtt/MqttFailure.h"
#include "mqtt/PublisherState.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>
#include <mosquitto.h>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace velkor::mqtt {

// The publisher's thread: owns the libmosquitto client and makes every call
// into it, so the library sees one thread only.
class PublisherThread {
public:
    PublisherThread(std::shared_ptr<PublisherState> shared, mosquitto* client)
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
    int service(PublisherClock::time_point wakeAt);
    void waitFor(std::chrono::milliseconds pause);
    void pump();
    void pumpRetained();
    void drainWake();
    void reportDrops(bool ending);
    void finish();
    void connected(int returnCode);
    void sayTrouble(MqttEventKind kind, const QString& message);
    void retainedAcknowledged(std::size_t index, std::uint64_t version);

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
        } else if (const auto kept = t->retainedMids_.find(mid); kept != t->retainedMids_.end()) {
            t->retainedAcknowledged(kept->second.first, kept->second.second);
            t->retainedMids_.erase(kept);
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

    std::shared_ptr<PublisherState> shared_;
    PublisherState& s_;
    mosquitto* mosq_;
    const QByteArray host_;
    const QByteArray readingTopic_;
    const QByteArray statusTopic_;
    const std::size_t window_;

    std::unordered_set<int> readingMids_; // rows handed to the library, not acknowledged
    // Kept topics handed to the library: mid -> (index, payload version).
    std::unordered_map<int, std::pair<std::size_t, std::uint64_t>> retainedMids_;
    int offlineMid_ = -1;
    bool offlineAcked_ = false;
    bool up_ = false;                    // the current connection has been accepted and is up
    bool wasUp_ = false;                 // the current connection had been accepted
    int disconnectRc_ = 0;               // why the library closed the current connection
    std::optional<MqttFailure> refusal_; // the current connection was refused
    QString libraryError_;               // the last error libmosquitto logged
    QString lastFailureSaid_;            // a failure that repeats is said once
    bool trouble_ = false;               // a failure or loss was said and no connection since
    PublisherClock::time_point troubleSince_;
    bool publishErrorSaid_ = false;
};

} // namespace velkor::mqtt
