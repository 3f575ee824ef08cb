#pragma once

#include "mqtt/MqttUrl.h"
#include "json/ReadingJson.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace velkor::mqtt {

struct PublisherState;

struct MqttPublisherOptions {
    MqttUrl url;
    // mqtts: the CA certificates (PEM) to trust; empty: the system's.
    QString caFile;
    // Rows waiting or in flight; beyond it the oldest waiting row is
    // dropped.
    std::size_t queueCapacity = 100000;
    // Rows handed to the broker and not yet acknowledged, at most (kept to
    // half the queue at most, so that a full queue always has waiting rows
    // to drop).
    int maxInFlight = 100;
    // Pause before the next attempt after a failed one: from minBackoff,
    // doubling up to maxBackoff; back to minBackoff after a connection that
    // was up.
    std::chrono::milliseconds minBackoff{1000};
    std::chrono::milliseconds maxBackoff{30000};
    // Rows that come while the broker keeps up are handed over in batches,
    // at most this long after they were published: fewer wake-ups at the
    // meter's pace (0: each row at once).
    std::chrono::milliseconds batchDelay{20};
    // MQTT keep-alive; a broker that stops answering is noticed after about
    // one and a half times this.
    int keepAliveSeconds = 30;
    // Empty: libmosquitto makes one up.
    QString clientId;
    // TOPIC/status kept at "online" while connected and "offline" after,
    // with "offline" as the will. Off for a client that only tidies up the
    // broker and is no logger.
    bool status = true;
};

enum class MqttEventKind {
    Connected,       // CONNACK accepted; "online" is being published
    ConnectFailed,   // an attempt failed; said once while the reason stays the same
    ConnectionLost,  // a connection that was up ended
    QueueFull,       // the first row of a drop episode was dropped
    RowsDropped,     // a drop episode ended; count = rows dropped in it
    RowsUndelivered, // at the end: count = rows the broker never acknowledged
    Fatal,           // trying again cannot help (refused credentials); the publisher has ended
};

struct MqttEvent {
    MqttEventKind kind;
    QString message; // one line naming the broker, ready for stderr
    std::uint64_t count = 0;
};

struct MqttPublisherStats {
    bool connected = false;
    std::uint64_t attempts = 0;      // connection attempts made
    std::uint64_t connections = 0;   // CONNACKs accepted
    std::size_t waiting = 0;         // rows not yet handed to the broker
    std::size_t inFlight = 0;        // rows handed, not yet acknowledged
    std::size_t retainedPending = 0; // kept topics whose last payload is not acknowledged
    std::uint64_t delivered = 0;     // rows the broker acknowledged
    std::uint64_t dropped = 0;       // rows dropped to keep the queue bounded
};

// Publishes logged rows to an MQTT broker in the background.
//
// The caller parses the URL (parseMqttUrl), constructs the publisher with
// its options and an event handler, calls start() once, publish() for every
// logged row and stop() at the end. publish() never waits for the network:
// it puts the row in a bounded queue under a short lock and wakes the
// publisher's own thread, which does all the network work through
// libmosquitto: it connects and reconnects with growing pauses, publishes
// the rows with QoS 1 to TOPIC/reading in the order they were logged,
// keeps each row queued until the broker acknowledges it (rows in flight
// when a connection breaks are sent again on the next one), and keeps
// TOPIC/status retained at "online" while connected and "offline" after
// (the will, for a logger that dies; published itself on stop()).
//
// Events arrive on the publisher's thread. The handler must be quick and
// must not call stop() or destroy the publisher (post to the caller's own
// loop instead). A broker that refuses the credentials ends the publisher:
// a Fatal event, fatalError() is set, publish() returns false; the caller
// ends its run (exit 1).
class MqttPublisher {
public:
    using EventHandler = std::function<void(const MqttEvent&)>;

    static constexpr std::chrono::milliseconds kDefaultStopTimeout{3000};

    MqttPublisher(MqttPublisherOptions options, EventHandler onEvent = {});
    ~MqttPublisher(); // stop(0) when still running
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Sets the client up (user, will, TLS) and starts the thread. Returns
    // an error text for what cannot work at all (an unreadable CA file, a
    // CA file without mqtts, libmosquitto refusing an option); network
    // trouble is reported later, by events.
    std::optional<QString> start();

    // Queues one row for TOPIC/reading. False when the publisher is not
    // running (not started, stopped, ended by a fatal error).
    bool publish(const json::JsonReading& reading);
    bool publishPayload(QByteArray json);

    // Keeps `topic` retained at `payload` on the broker (an empty payload
    // removes a retained message). Published with QoS 1 ahead of the queued
    // rows as soon as the broker is connected, and again on every new
    // connection, so that a broker that lost its retained messages gets them
    // back. A newer payload for the same topic replaces one not yet sent, so
    // a broker that was away gets the last payload only; topics go out in
    // the order they were first kept. Outside the row queue and its bound:
    // meant for a few dozen topics. False when the publisher is not running.
    bool keepRetained(const QByteArray& topic, QByteArray payload);

    // Gives the queued rows and kept topics until `timeout` to reach the broker, then sets
    // the status "offline" and disconnects cleanly (up to one second more).
    // True when every published row was acknowledged (a second call gives
    // the same answer). A thread stuck in a name lookup or TCP connect at
    // the end is left to end by itself.
    bool stop(std::chrono::milliseconds timeout = kDefaultStopTimeout);

    std::optional<QString> fatalError() const;
    MqttPublisherStats stats() const;
    const MqttUrl& url() const;

private:
    std::shared_ptr<PublisherState> shared_;
    std::thread thread_;
    bool started_ = false;
    bool stopped_ = false;
    bool stopResult_ = false;
};

} // namespace velkor::mqtt
