#pragma once

#include "influx/InfluxWriter.h"
#include "outbox/PublishQueue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <curl/curl.h>
#include <mutex>

namespace velkor::influx {

using WriterClock = std::chrono::steady_clock;

// What the writer and its thread share. The thread holds it too, so it
// outlives a writer that had to leave its thread behind.
struct WriterState {
    WriterState(InfluxWriterOptions o, InfluxWriter::EventHandler h)
        : options(std::move(o)), handler(std::move(h)), queue(options.queueCapacity),
          server(QStringLiteral("InfluxDB %1").arg(options.target.shown)) {}
    ~WriterState() {
        if (multi) {
            curl_multi_cleanup(multi);
        }
    }

    const InfluxWriterOptions options;
    const InfluxWriter::EventHandler handler;
    outbox::PublishQueue queue;
    const QString server; // how messages name it

    // The thread's multi handle: also what wakes it (curl_multi_wakeup may
    // be called from any thread).
    CURLM* multi = nullptr;
    std::atomic<bool> wakePending{false}; // a wake-up is on its way
    std::atomic<bool> accepting{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<WriterClock::rep> flushUntil{0}; // written before stopRequested
    std::atomic<std::uint64_t> requests{0};
    std::atomic<std::uint64_t> rejected{0};
    std::atomic<bool> gzip{false};

    mutable std::mutex mutex; // fatal, finished
    std::optional<QString> fatal;
    bool finished = false;
    std::condition_variable finishedCv;

    std::mutex eventMutex; // held while the handler runs
    bool eventsOpen = true;

    void wake() {
        if (multi) {
            curl_multi_wakeup(multi);
        }
    }
    void notify(InfluxEventKind kind, const QString& message, std::uint64_t count = 0) {
        std::lock_guard lock(eventMutex);
        if (eventsOpen && handler) {
            handler(InfluxEvent{kind, message, count});
        }
    }
    WriterClock::time_point flushDeadline() const {
        return WriterClock::time_point(WriterClock::duration(flushUntil.load()));
    }
};

} // namespace velkor::influx
