#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace velkor::outbox {

// The rows on their way to a server (an MQTT broker, a time-series
// database): waiting ones, and those handed over that the server has not
// acknowledged yet ("in flight"). Both count against the capacity; a row
// leaves only when the server has acknowledged it (or it is abandoned). When
// the queue is full the oldest waiting row makes room for the new one. A
// drop episode starts with the first row dropped and ends once the queue
// has room again; the sender says when one starts and how many rows it cost
// when it ends.
//
// Thread-safe: the logging side pushes, the network side takes, acknowledges
// and reads the drop episodes. Every call is O(1) apart from take(), which
// moves at most the rows it returns.
class PublishQueue {
public:
    // A row, and where it goes when a sender has more than one place (an
    // MQTT topic); empty: the sender's own.
    struct Message {
        QByteArray payload;
        QByteArray topic;
    };

    explicit PublishQueue(std::size_t capacity);

    std::size_t capacity() const { return capacity_; }

    struct PushResult {
        bool dropped = false;        // a row was dropped to keep the bound
        bool episodeStarted = false; // ... and it was the first of an episode
        std::size_t waiting = 0;     // rows waiting now, the new one included
    };
    // Queues a row. With a full queue the oldest waiting row goes; when
    // every queued row is in flight (a capacity no larger than the flight
    // window), the new row itself is dropped.
    PushResult push(QByteArray payload, QByteArray topic = {});

    // Up to `maxInFlight` rows in flight in all: the oldest waiting ones,
    // counted in flight from now on.
    std::vector<Message> take(std::size_t maxInFlight);
    // In-flight rows that left: acknowledged by the server, or refused by
    // the server or the client library (they will never be acknowledged).
    void acknowledge(std::size_t rows = 1);
    void abandon(std::size_t rows = 1);

    struct DropReport {
        bool started = false;    // an episode began since the last report
        std::uint64_t ended = 0; // rows dropped in an episode that has ended
    };
    // What the publisher has to say about dropped rows. With `ending`, an
    // open episode counts as ended (the publisher is stopping).
    DropReport takeDropReport(bool ending = false);

    struct Counts {
        std::size_t waiting = 0;
        std::size_t inFlight = 0;
        std::uint64_t acknowledged = 0;
        std::uint64_t dropped = 0;
        std::uint64_t abandoned = 0;
    };
    Counts counts() const;
    bool empty() const;

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<Message> waiting_;
    std::size_t inFlight_ = 0;
    std::uint64_t acknowledged_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t abandoned_ = 0;
    std::uint64_t episodeDropped_ = 0;
    bool episodeOpen_ = false;
    bool episodeAnnounced_ = false;
};

} // namespace velkor::outbox
