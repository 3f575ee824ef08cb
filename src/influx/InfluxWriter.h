#pragma once

#include "influx/InfluxUrl.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace velkor::influx {

struct WriterState;

struct InfluxWriterOptions {
    InfluxTarget target;
    // Rows waiting or being written; beyond it the oldest waiting row is
    // dropped.
    std::size_t queueCapacity = 100000;
    // Rows in one request at most, and how long a row waits for others to
    // join it: at the meter's pace one request a second.
    std::size_t maxBatch = 5000;
    std::chrono::milliseconds batchDelay{1000};
    // Pause before the next attempt after a failed one: from minBackoff,
    // doubling up to maxBackoff (or what the server's Retry-After asks).
    std::chrono::milliseconds minBackoff{1000};
    std::chrono::milliseconds maxBackoff{30000};
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds requestTimeout{30000};
    // Bodies gzip-compressed, until a server answers that it does not take
    // them (415); then plain.
    bool gzip = true;
};

enum class InfluxEventKind {
    Connected,     // the server took the first request (again after trouble)
    WriteFailed,   // a request failed and is tried again; said once while the reason stays
    RowsRejected,  // the server refused rows (400, 422); count = rows; said once per reason
    QueueFull,     // the first row of a drop episode was dropped
    RowsDropped,   // a drop episode ended; count = rows dropped in it
    RowsUnwritten, // at the end: count = rows the server never took
    Fatal,         // trying again cannot help (credentials, database); the writer has ended
};

struct InfluxEvent {
    InfluxEventKind kind;
    QString message; // one line naming the server, ready for stderr
    std::uint64_t count = 0;
};

struct InfluxWriterStats {
    std::size_t waiting = 0;    // rows not yet in a request
    std::size_t inFlight = 0;   // rows taken for requests, not yet written
    std::uint64_t written = 0;  // rows the server took
    std::uint64_t dropped = 0;  // rows dropped to keep the queue bounded
    std::uint64_t rejected = 0; // rows the server refused
    std::uint64_t requests = 0; // requests made, the first check included
    bool gzip = false;          // bodies are compressed now
};

// Writes logged rows to InfluxDB in the background, as line protocol over
// HTTP through libcurl.
//
// The caller constructs the writer with its options and an event handler,
// calls start() once, write() for every row (a line of influxLine()) and
// stop() at the end. write() never waits for the network: it puts the line
// in a bounded queue and, at most once per request, wakes the writer's own
// thread. That thread first checks the target with an empty write (which
// the server answers as it would any write: an unknown database, a refused
// token), then sends the rows in order, in requests of up to maxBatch rows
// that leave at most batchDelay after their first row (at once when the
// batch is full or the writer stops), gzip-compressed, on one kept-alive
// connection. A request that fails for a reason that may pass (no
// connection, a timeout, 5xx, 429) is sent again after a growing pause, its
// rows still queued; rows the server refuses as malformed (400, 422) are
// told and left; 413 halves the request. Refused credentials (401, 403) or
// an unknown database, organisation or bucket (404) end the writer: a Fatal
// event, fatalError() is set, write() returns false.
//
// Events arrive on the writer's thread. The handler must be quick and must
// not call stop() or destroy the writer.
class InfluxWriter {
public:
    using EventHandler = std::function<void(const InfluxEvent&)>;

    static constexpr std::chrono::milliseconds kDefaultStopTimeout{3000};

    InfluxWriter(InfluxWriterOptions options, EventHandler onEvent = {});
    ~InfluxWriter(); // stop(0) when still running
    InfluxWriter(const InfluxWriter&) = delete;
    InfluxWriter& operator=(const InfluxWriter&) = delete;

    // Sets libcurl up and starts the thread; an error text for what cannot
    // work at all. Network trouble is reported later, by events.
    std::optional<QString> start();

    // Queues one line. False when the writer is not running.
    bool write(QByteArray line);

    // Gives the queued rows until `timeout` to reach the server (sent at
    // once, not after the batch delay), then ends the thread (a request
    // under way at the deadline is abandoned). True when every row was
    // written.
    bool stop(std::chrono::milliseconds timeout = kDefaultStopTimeout);

    std::optional<QString> fatalError() const;
    InfluxWriterStats stats() const;
    const InfluxTarget& target() const;

private:
    std::shared_ptr<WriterState> shared_;
    std::thread thread_;
    bool started_ = false;
    bool stopped_ = false;
    bool stopResult_ = false;
};

} // namespace velkor::influx
