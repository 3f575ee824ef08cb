#pragma once

#include "influx/WriterState.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <curl/curl.h>
#include <deque>
#include <memory>

namespace velkor::influx {

// The writer's thread: owns the libcurl easy handle and makes every request.
class WriterThread {
public:
    explicit WriterThread(std::shared_ptr<WriterState> shared);
    ~WriterThread();
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    void run();

private:
    // How a request ended, and what follows from it.
    enum class Outcome { Written, Retry, Rejected, Smaller, Plain, Fatal };
    struct Answer {
        Outcome outcome;
        QString reason;
        std::chrono::milliseconds retryAfter{0};
    };

    void takeBatch(WriterClock::time_point now, bool stopping);
    void startRequest();
    void requestDone(CURLcode code);
    Answer answerOf(CURLcode code) const;
    void failed(const QString& reason, std::chrono::milliseconds retryAfter);
    void reportDrops(bool ending);
    void finish();
    int waitMilliseconds(WriterClock::time_point now, bool stopping) const;

    static size_t onBody(char* data, size_t size, size_t count, void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* self);

    std::shared_ptr<WriterState> shared_;
    WriterState& s_;
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr; // of the request under way
    char errorText_[CURL_ERROR_SIZE] = {};

    std::deque<QByteArray> hand_; // rows taken from the queue, oldest first, not yet written
    std::size_t sending_ = 0;     // of them, in the request under way
    QByteArray body_;
    QByteArray response_;
    QString serverError_;  // the X-Influxdb-Error header, when the server sent one
    bool busy_ = false;    // a request is under way
    bool checked_ = false; // the empty write at the start was answered
    std::size_t maxBatch_;
    bool batchTimer_ = false;
    WriterClock::time_point batchDue_;
    WriterClock::time_point retryAt_;
    std::chrono::milliseconds backoff_;
    bool trouble_ = false; // a failure was said and nothing written since
    WriterClock::time_point troubleSince_;
    QString lastFailureSaid_;
    QString lastRejectSaid_;
};

} // namespace velkor::influx
