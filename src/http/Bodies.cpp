#include "http/Bodies.h"

#include "http/EventText.h"
#include "http/ServerCore.h"
#include "logfiles/LogCsvFile.h"

#include <algorithm>
#include <cstring>

namespace velkor::http {

namespace {

// A piece is made up to about this size: large enough for a burst of
// rows, small enough to bound a connection's memory.
constexpr qsizetype kPieceBytes = 16 * 1024;
constexpr size_t kBlockSize = 16 * 1024;
constexpr int kRetryMilliseconds = 3000;

} // namespace

MHD_Response* PieceBody::response() {
    return MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kBlockSize, &PieceBody::read, this,
                                             &PieceBody::release);
}

ssize_t PieceBody::read(void* self, uint64_t, char* buffer, size_t max) {
    auto* body = static_cast<PieceBody*>(self);
    if (body->at_ >= body->pending_.size()) {
        body->pending_.clear();
        body->at_ = 0;
        body->fill();
        if (body->pending_.isEmpty()) {
            return body->nothingNow();
        }
    }
    const qsizetype n =
        std::min<qsizetype>(static_cast<qsizetype>(max), body->pending_.size() - body->at_);
    std::memcpy(buffer, body->pending_.constData() + body->at_, static_cast<size_t>(n));
    body->at_ += n;
    return n;
}

void PieceBody::release(void* self) {
    delete static_cast<PieceBody*>(self);
}

EventStream::EventStream(ServerCore& core, MHD_Connection* connection, const StreamStart& start)
    : core_(core), connection_(connection) {
    const HeldRows& held = core_.state.held();
    if (start.after && *start.after <= held.lastNo()) {
        lastSent_ = *start.after;
    } else {
        // New, or back from a run whose numbers were higher: the last rows.
        const std::size_t n = static_cast<std::size_t>(start.last);
        lastSent_ = held.noBefore(held.size() > n ? held.size() - n : 0);
        if (start.last == 0) {
            lastSent_ = held.lastNo();
        }
    }
    pending_ = streamOpening(kRetryMilliseconds);
    core_.streams.insert(this);
}

EventStream::~EventStream() {
    core_.streams.erase(this);
}

void EventStream::wake(bool keepAlive) {
    keepAliveDue_ = keepAliveDue_ || keepAlive;
    if (parked_) {
        parked_ = false;
        MHD_resume_connection(connection_);
    }
}

void EventStream::fill() {
    if (statusSent_ != core_.state.statusVersion()) {
        statusSent_ = core_.state.statusVersion();
        appendStatusEvent(pending_, core_.state.status());
    }
    const HeldRows& held = core_.state.held();
    for (std::size_t i = held.indexAfter(lastSent_);
         i < held.size() && pending_.size() < kPieceBytes; ++i) {
        appendReadingEvent(pending_, held.noAt(i), held.jsonAt(i));
        lastSent_ = held.noAt(i);
    }
    if (pending_.isEmpty() && core_.ending && !endSent_) {
        appendStatusEvent(pending_, core_.state.status());
        appendEndEvent(pending_);
        endSent_ = true;
    }
    if (pending_.isEmpty() && keepAliveDue_) {
        appendKeepAlive(pending_);
    }
    keepAliveDue_ = false;
}

ssize_t EventStream::nothingNow() {
    if (endSent_) {
        return MHD_CONTENT_READER_END_OF_STREAM;
    }
    parked_ = true;
    MHD_suspend_connection(connection_);
    return 0;
}

RowsBody::RowsBody(ServerCore& core, Form form, qint64 after, qint64 upTo)
    : core_(core), form_(form), after_(after), upTo_(upTo) {}

void RowsBody::fill() {
    if (finished_) {
        return;
    }
    if (!started_) {
        started_ = true;
        pending_ = form_ == Form::Csv ? logCsvHeader() : QByteArray("[");
    }
    const HeldRows& held = core_.state.held();
    std::size_t i = held.indexAfter(after_);
    for (; i < held.size() && held.noAt(i) <= upTo_ && pending_.size() < kPieceBytes; ++i) {
        if (form_ == Form::Csv) {
            pending_ += held.csvAt(i);
        } else {
            if (!first_) {
                pending_ += ",\n";
            }
            first_ = false;
            pending_ += held.jsonAt(i);
        }
        after_ = held.noAt(i);
    }
    if (i >= held.size() || held.noAt(i) > upTo_) {
        finished_ = true;
        if (form_ == Form::Json) {
            pending_ += "]\n";
        }
    }
}

} // namespace velkor::http
