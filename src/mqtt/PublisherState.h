#pragma once

#include "mqtt/MqttPublisher.h"
#include "outbox/PublishQueue.h"

#include <QByteArray>
#include <QHash>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unistd.h>

namespace velkor::mqtt {

using PublisherClock = std::chrono::steady_clock;

// After the flush time of stop(): for "offline" to be acknowledged and the
// DISCONNECT to go out.
inline constexpr std::chrono::milliseconds kPublisherCloseGrace{1000};

inline constexpr char kStatusOnline[] = "online";
inline constexpr char kStatusOffline[] = "offline";

// Rows in flight at most: the option, kept to half the queue so that a full
// queue always has waiting rows to drop.
inline std::size_t flightWindow(const MqttPublisherOptions& o) {
    const std::size_t wanted = static_cast<std::size_t>(std::clamp(o.maxInFlight, 1, 65535));
    return std::max<std::size_t>(1, std::min(wanted, o.queueCapacity / 2));
}

// A topic the publisher keeps retained on the broker, with the versions of
// its payload: the newest, the one handed over on this connection (0: none
// yet) and the one the broker acknowledged.
struct RetainedTopic {
    QByteArray topic;
    QByteArray payload;
    std::uint64_t version = 0;
    std::uint64_t sent = 0;
    std::uint64_t acknowledged = 0;
};

// What the publisher and its thread share. The thread holds it too, so it
// outlives a publisher that had to leave its thread behind.
struct PublisherState {
    PublisherState(MqttPublisherOptions o, MqttPublisher::EventHandler h)
        : options(std::move(o)), handler(std::move(h)), queue(options.queueCapacity),
          broker(options.url.brokerText()) {}
    ~PublisherState() {
        if (wakeFd >= 0) {
            ::close(wakeFd);
        }
    }

    const MqttPublisherOptions options;
    const MqttPublisher::EventHandler handler;
    outbox::PublishQueue queue;
    const QString broker;

    int wakeFd = -1;
    std::atomic<bool> wakePending{false}; // a wake-up is on its way, no need for another
    std::atomic<bool> accepting{false};   // publish() takes rows
    std::atomic<bool> stopRequested{false};
    std::atomic<PublisherClock::rep> flushUntil{0}; // written before stopRequested
    std::atomic<bool> connected{false};
    std::atomic<std::uint64_t> attempts{0};
    std::atomic<std::uint64_t> connections{0};

    mutable std::mutex mutex; // fatal, finished
    std::optional<QString> fatal;
    bool finished = false;
    std::condition_variable finishedCv;

    mutable std::mutex retainedMutex; // retained, retainedIndex
    std::vector<RetainedTopic> retained;
    QHash<QByteArray, std::size_t> retainedIndex;
    std::atomic<bool> retainedDirty{false}; // a kept topic waits to be handed over

    // Kept topics whose newest payload the broker has not acknowledged.
    std::size_t retainedPending() const {
        std::lock_guard lock(retainedMutex);
        return static_cast<std::size_t>(
            std::count_if(retained.begin(), retained.end(),
                          [](const RetainedTopic& t) { return t.acknowledged != t.version; }));
    }

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

    PublisherClock::time_point flushDeadline() const {
        return PublisherClock::time_point(PublisherClock::duration(flushUntil.load()));
    }
};

} // namespace velkor::mqtt
