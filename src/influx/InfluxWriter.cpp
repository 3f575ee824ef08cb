#include "influx/InfluxWriter.h"

#include "influx/WriterState.h"
#include "influx/WriterThread.h"
#include "outbox/QuietThread.h"

#include <mutex>

namespace velkor::influx {

using std::chrono::milliseconds;

namespace {

// Beyond the flush time, how long stop() waits for the thread to end before
// leaving it (a request is abandoned at the flush time).
constexpr milliseconds kJoinMargin{2000};

bool initLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

} // namespace

InfluxWriter::InfluxWriter(InfluxWriterOptions options, EventHandler onEvent)
    : shared_(std::make_shared<WriterState>(std::move(options), std::move(onEvent))) {}

InfluxWriter::~InfluxWriter() {
    if (started_ && !stopped_) {
        stop(milliseconds(0));
    }
}

std::optional<QString> InfluxWriter::start() {
    if (started_) {
        return QStringLiteral("the InfluxDB writer is already started");
    }
    if (!initLibrary()) {
        return QStringLiteral("libcurl cannot be initialised");
    }
    const curl_version_info_data* curl = curl_version_info(CURLVERSION_NOW);
    if (shared_->options.target.writeUrl.startsWith(QLatin1String("https:")) &&
        !(curl->features & CURL_VERSION_SSL)) {
        return QStringLiteral("this libcurl has no TLS, so https:// cannot be reached");
    }
    shared_->multi = curl_multi_init();
    if (!shared_->multi) {
        return QStringLiteral("cannot make an HTTP client (libcurl)");
    }
    shared_->gzip = shared_->options.gzip;
    shared_->accepting = true;
    thread_ = outbox::quietThread([shared = shared_] {
        WriterThread worker(shared);
        worker.run();
    });
    started_ = true;
    return std::nullopt;
}

bool InfluxWriter::write(QByteArray line) {
    WriterState& s = *shared_;
    if (!s.accepting) {
        return false;
    }
    const outbox::PublishQueue::PushResult r = s.queue.push(std::move(line));
    // One wake-up per request at the meter's pace: for the first row of a
    // batch, a full batch, or the first row dropped.
    if (r.episodeStarted || r.waiting == s.options.maxBatch || !s.wakePending.exchange(true)) {
        s.wake();
    }
    return true;
}

bool InfluxWriter::stop(milliseconds timeout) {
    if (!started_ || stopped_) {
        return stopResult_;
    }
    stopped_ = true;
    WriterState& s = *shared_;
    s.accepting = false;
    const auto flushUntil = WriterClock::now() + std::max(timeout, milliseconds(0));
    s.flushUntil = flushUntil.time_since_epoch().count();
    s.stopRequested = true;
    s.wake();
    bool finished = false;
    {
        std::unique_lock lock(s.mutex);
        finished =
            s.finishedCv.wait_until(lock, flushUntil + kJoinMargin, [&] { return s.finished; });
    }
    if (finished) {
        thread_.join();
    } else {
        thread_.detach(); // stuck in a name lookup; it owns what it uses
    }
    {
        std::lock_guard lock(s.eventMutex);
        s.eventsOpen = false;
    }
    std::lock_guard lock(s.mutex);
    stopResult_ = finished && !s.fatal && s.queue.empty();
    return stopResult_;
}

std::optional<QString> InfluxWriter::fatalError() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->fatal;
}

InfluxWriterStats InfluxWriter::stats() const {
    const WriterState& s = *shared_;
    const outbox::PublishQueue::Counts c = s.queue.counts();
    InfluxWriterStats stats;
    stats.waiting = c.waiting;
    stats.inFlight = c.inFlight;
    stats.written = c.acknowledged;
    stats.dropped = c.dropped;
    stats.rejected = s.rejected;
    stats.requests = s.requests;
    stats.gzip = s.gzip;
    return stats;
}

const InfluxTarget& InfluxWriter::target() const {
    return shared_->options.target;
}

} // namespace velkor::influx
