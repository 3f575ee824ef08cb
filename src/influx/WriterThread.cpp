#include "influx/WriterThread.h"

#include "influx/Gzip.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

namespace velkor::influx {

using Clock = WriterClock;
using std::chrono::milliseconds;

namespace {

// The thread looks at the queue and the deadline at least this often.
constexpr milliseconds kMaxWait{1000};
// Of a server's answer, this much is kept for a message.
constexpr qsizetype kMaxAnswer = 64 * 1024;
constexpr qsizetype kMaxReason = 300;

int untilMilliseconds(Clock::time_point now, Clock::time_point at) {
    const auto left = std::chrono::ceil<milliseconds>(at - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kMaxWait.count()));
}

// One line of a server's text for a message.
QString oneLine(QString text) {
    text = text.simplified();
    if (text.size() > kMaxReason) {
        text = text.left(kMaxReason) + QStringLiteral("...");
    }
    return text;
}

} // namespace

WriterThread::WriterThread(std::shared_ptr<WriterState> shared)
    : shared_(std::move(shared)), s_(*shared_),
      maxBatch_(std::max<std::size_t>(1, s_.options.maxBatch)), backoff_(s_.options.minBackoff) {
    easy_ = curl_easy_init();
    if (!easy_) {
        return;
    }
    const InfluxTarget& t = s_.options.target;
    const QByteArray url = t.writeUrl.toUtf8();
    curl_easy_setopt(easy_, CURLOPT_URL, url.constData()); // copied by libcurl
    curl_easy_setopt(easy_, CURLOPT_POST, 1L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, long(s_.options.connectTimeout.count()));
    curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, long(s_.options.requestTimeout.count()));
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &WriterThread::onBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &WriterThread::onHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    if (!t.user.isEmpty()) {
        curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(easy_, CURLOPT_USERNAME, t.user.toUtf8().constData());
        curl_easy_setopt(easy_, CURLOPT_PASSWORD, t.password.toUtf8().constData());
    }
}

WriterThread::~WriterThread() {
    if (busy_) {
        curl_multi_remove_handle(s_.multi, easy_);
    }
    curl_slist_free_all(headers_);
    if (easy_) {
        curl_easy_cleanup(easy_);
    }
}

size_t WriterThread::onBody(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<WriterThread*>(self);
    const qsizetype n = static_cast<qsizetype>(size * count);
    t->response_.append(data,
                        std::min(n, std::max<qsizetype>(0, kMaxAnswer - t->response_.size())));
    return size * count;
}

size_t WriterThread::onHeader(char* data, size_t size, size_t count, void* self) {
    const QByteArray line(data, static_cast<qsizetype>(size * count));
    static const QByteArray kError("x-influxdb-error:");
    if (line.toLower().startsWith(kError)) {
        static_cast<WriterThread*>(self)->serverError_ =
            oneLine(QString::fromUtf8(line.mid(kError.size())));
    }
    return size * count;
}

void WriterThread::run() {
    if (!easy_) {
        const QString message =
            QStringLiteral("%1: cannot make an HTTP client; giving up").arg(s_.server);
        {
            std::lock_guard lock(s_.mutex);
            s_.fatal = message;
        }
        s_.accepting = false;
        s_.notify(InfluxEventKind::Fatal, message);
        finish();
        return;
    }
    while (true) {
        const Clock::time_point now = Clock::now();
        const bool stopping = s_.stopRequested;
        reportDrops(false);
        {
            std::lock_guard lock(s_.mutex);
            if (s_.fatal) {
                break;
            }
        }
        if (stopping && now >= s_.flushDeadline()) {
            break; // what is left is said by finish()
        }
        if (!busy_) {
            if (checked_ && hand_.empty()) {
                takeBatch(now, stopping);
            }
            if (stopping && hand_.empty() && s_.queue.empty()) {
                break; // everything written
            }
            if ((!checked_ || !hand_.empty()) && now >= retryAt_) {
                startRequest();
            }
        }
        int running = 0;
        curl_multi_perform(s_.multi, &running);
        int left = 0;
        bool done = false;
        while (CURLMsg* m = curl_multi_info_read(s_.multi, &left)) {
            if (m->msg == CURLMSG_DONE && m->easy_handle == easy_) {
                requestDone(m->data.result);
                done = true;
            }
        }
        if (done) {
            continue; // what comes next is decided above: more rows, a pause, the end
        }
        curl_multi_poll(s_.multi, nullptr, 0, waitMilliseconds(Clock::now(), stopping), nullptr);
    }
    finish();
}

int WriterThread::waitMilliseconds(Clock::time_point now, bool stopping) const {
    Clock::time_point at = now + kMaxWait;
    if (!busy_ && (!checked_ || !hand_.empty())) {
        at = std::min(at, retryAt_);
    }
    if (batchTimer_) {
        at = std::min(at, batchDue_);
    }
    if (stopping) {
        at = std::min(at, s_.flushDeadline());
    }
    return untilMilliseconds(now, at);
}

// Takes the next rows into hand once they are due: a full request's worth,
// the batch delay since the first of them came, or the writer stopping.
void WriterThread::takeBatch(Clock::time_point now, bool stopping) {
    const std::size_t waiting = s_.queue.counts().waiting;
    if (waiting == 0) {
        batchTimer_ = false;
        return;
    }
    if (!batchTimer_) {
        batchTimer_ = true;
        batchDue_ = now + s_.options.batchDelay;
    }
    if (waiting < maxBatch_ && !stopping && now < batchDue_) {
        return;
    }
    s_.wakePending = false;
    batchTimer_ = false;
    for (outbox::PublishQueue::Message& line : s_.queue.take(maxBatch_)) {
        hand_.push_back(std::move(line.payload));
    }
}

void WriterThread::startRequest() {
    body_.clear();
    sending_ = checked_ ? std::min(hand_.size(), maxBatch_) : 0;
    for (std::size_t i = 0; i < sending_; ++i) {
        body_ += hand_[i];
        body_ += '\n';
    }
    curl_slist_free_all(headers_);
    headers_ = curl_slist_append(nullptr, "Content-Type: text/plain; charset=utf-8");
    // No "Expect: 100-continue" for larger bodies: a server or proxy that
    // does not answer it would cost a second's wait per request.
    headers_ = curl_slist_append(headers_, "Expect:");
    if (s_.gzip && !body_.isEmpty()) {
        if (auto compressed = gzipped(body_)) {
            body_ = std::move(*compressed);
            headers_ = curl_slist_append(headers_, "Content-Encoding: gzip");
        }
    }
    if (const auto& token = s_.options.target.token) {
        headers_ = curl_slist_append(headers_,
                                     (QStringLiteral("Authorization: Token ") + *token).toUtf8());
    }
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, body_.constData());
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body_.size()));
    response_.clear();
    serverError_.clear();
    errorText_[0] = '\0';
    ++s_.requests;
    curl_multi_add_handle(s_.multi, easy_);
    busy_ = true;
}

WriterThread::Answer WriterThread::answerOf(CURLcode code) const {
    if (code != CURLE_OK) {
        QString why = errorText_[0] ? QString::fromUtf8(errorText_)
                                    : QString::fromUtf8(curl_easy_strerror(code));
        // libcurl says how long it tried ("after 28 ms"): left out, so that
        // the same failure reads the same and is said once.
        static const QRegularExpression elapsed(QStringLiteral(" after \\d+ ms"));
        why.remove(elapsed);
        return {Outcome::Retry, oneLine(why)};
    }
    long status = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && status < 300) {
        return {Outcome::Written, {}};
    }
    // The server's own words: "error" (1.x) or "message" (2.x) of its JSON,
    // its error header, or its text.
    const QJsonObject json = QJsonDocument::fromJson(response_).object();
    QString said = json.value(QLatin1String("error")).toString();
    if (said.isEmpty()) {
        said = json.value(QLatin1String("message")).toString();
    }
    if (said.isEmpty()) {
        said = serverError_.isEmpty() ? QString::fromUtf8(response_) : serverError_;
    }
    QString reason = QStringLiteral("HTTP %1").arg(status);
    if (const QString text = oneLine(said); !text.isEmpty()) {
        reason += QStringLiteral(": ") + text;
    }
    switch (status) {
    case 401:
    case 403:
        return {Outcome::Fatal,
                QStringLiteral("the server refused the credentials (%1)").arg(reason)};
    case 404:
        return {Outcome::Fatal, QStringLiteral("the server has no such %1 (%2)")
                                    .arg(s_.options.target.api == InfluxTarget::Api::V1
                                             ? QStringLiteral("database")
                                             : QStringLiteral("organisation or bucket"),
                                         reason)};
    case 413: return {sending_ > 1 ? Outcome::Smaller : Outcome::Rejected, reason};
    case 415: return {s_.gzip ? Outcome::Plain : Outcome::Fatal, reason};
    case 400:
    case 422: return {checked_ ? Outcome::Rejected : Outcome::Fatal, reason};
    default: break;
    }
    curl_off_t retryAfter = 0;
    curl_easy_getinfo(easy_, CURLINFO_RETRY_AFTER, &retryAfter);
    return {Outcome::Retry, reason, milliseconds(std::max<curl_off_t>(0, retryAfter) * 1000)};
}

void WriterThread::requestDone(CURLcode code) {
    curl_multi_remove_handle(s_.multi, easy_);
    busy_ = false;
    const Answer a = answerOf(code);
    const Clock::time_point now = Clock::now();
    switch (a.outcome) {
    case Outcome::Written: {
        s_.queue.acknowledge(sending_);
        hand_.erase(hand_.begin(), hand_.begin() + static_cast<std::ptrdiff_t>(sending_));
        backoff_ = s_.options.minBackoff;
        retryAt_ = now;
        lastFailureSaid_.clear();
        if (!checked_ || trouble_) {
            QString message = QStringLiteral("%1: connected").arg(s_.server);
            if (trouble_) {
                const auto away =
                    std::chrono::duration_cast<std::chrono::seconds>(now - troubleSince_);
                const auto c = s_.queue.counts();
                message = QStringLiteral("%1: writing again after %2 s; sending %3 queued rows")
                              .arg(s_.server)
                              .arg(away.count())
                              .arg(c.waiting + c.inFlight);
            }
            trouble_ = false;
            checked_ = true;
            s_.notify(InfluxEventKind::Connected, message);
        }
        return;
    }
    case Outcome::Rejected:
        s_.queue.abandon(sending_);
        s_.rejected += sending_;
        hand_.erase(hand_.begin(), hand_.begin() + static_cast<std::ptrdiff_t>(sending_));
        if (a.reason != lastRejectSaid_) {
            lastRejectSaid_ = a.reason;
            s_.notify(InfluxEventKind::RowsRejected,
                      QStringLiteral("%1: the server refused %2 rows (%3); they are left out")
                          .arg(s_.server)
                          .arg(sending_)
                          .arg(a.reason),
                      sending_);
        }
        return;
    case Outcome::Smaller:
        maxBatch_ = std::max<std::size_t>(1, sending_ / 2);
        retryAt_ = now;
        return;
    case Outcome::Plain:
        s_.gzip = false;
        retryAt_ = now;
        return;
    case Outcome::Fatal: {
        const QString message = QStringLiteral("%1: %2; giving up").arg(s_.server, a.reason);
        {
            std::lock_guard lock(s_.mutex);
            s_.fatal = message;
        }
        s_.accepting = false;
        s_.notify(InfluxEventKind::Fatal, message);
        return;
    }
    case Outcome::Retry: failed(a.reason, a.retryAfter); return;
    }
}

void WriterThread::failed(const QString& reason, milliseconds retryAfter) {
    const Clock::time_point now = Clock::now();
    retryAt_ = now + std::max(backoff_, retryAfter);
    backoff_ = std::min(backoff_ * 2, std::max(s_.options.maxBackoff, s_.options.minBackoff));
    if (!trouble_) {
        trouble_ = true;
        troubleSince_ = now;
    }
    if (reason != lastFailureSaid_) {
        lastFailureSaid_ = reason;
        s_.notify(InfluxEventKind::WriteFailed,
                  QStringLiteral("%1: %2; trying again in the background, rows wait in the queue "
                                 "(up to %3)")
                      .arg(s_.server, reason)
                      .arg(s_.queue.capacity()));
    }
}

void WriterThread::reportDrops(bool ending) {
    const outbox::PublishQueue::DropReport report = s_.queue.takeDropReport(ending);
    if (report.started && report.ended == 0) {
        s_.notify(InfluxEventKind::QueueFull,
                  QStringLiteral("%1: the queue of %2 rows is full; the oldest rows are dropped "
                                 "until the server takes rows again")
                      .arg(s_.server)
                      .arg(s_.queue.capacity()));
    }
    if (report.ended > 0) {
        s_.notify(InfluxEventKind::RowsDropped,
                  QStringLiteral("%1: %2 rows were dropped while the queue was full")
                      .arg(s_.server)
                      .arg(report.ended),
                  report.ended);
    }
}

void WriterThread::finish() {
    if (busy_) {
        curl_multi_remove_handle(s_.multi, easy_);
        busy_ = false;
    }
    reportDrops(true);
    const outbox::PublishQueue::Counts c = s_.queue.counts();
    if (const std::uint64_t left = c.waiting + c.inFlight; left > 0) {
        s_.notify(InfluxEventKind::RowsUnwritten,
                  QStringLiteral("%1: %2 rows were not written and are missing there")
                      .arg(s_.server)
                      .arg(left),
                  left);
    }
    std::lock_guard lock(s_.mutex);
    s_.finished = true;
    s_.finishedCv.notify_all();
}

} // namespace velkor::influx
