#include "outbox/PublishQueue.h"

#include <algorithm>

namespace velkor::outbox {

PublishQueue::PublishQueue(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

PublishQueue::PushResult PublishQueue::push(QByteArray payload, QByteArray topic) {
    std::lock_guard lock(mutex_);
    PushResult result;
    if (waiting_.size() + inFlight_ >= capacity_) {
        result.dropped = true;
        result.episodeStarted = !episodeOpen_;
        episodeOpen_ = true;
        ++episodeDropped_;
        ++dropped_;
        if (waiting_.empty()) {
            return result; // every queued row is in flight: the new one goes
        }
        waiting_.pop_front();
    }
    waiting_.push_back({std::move(payload), std::move(topic)});
    result.waiting = waiting_.size();
    return result;
}

std::vector<PublishQueue::Message> PublishQueue::take(std::size_t maxInFlight) {
    std::lock_guard lock(mutex_);
    std::vector<Message> rows;
    const std::size_t room = maxInFlight > inFlight_ ? maxInFlight - inFlight_ : 0;
    const std::size_t n = std::min(room, waiting_.size());
    rows.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        rows.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
    }
    inFlight_ += n;
    return rows;
}

void PublishQueue::acknowledge(std::size_t rows) {
    std::lock_guard lock(mutex_);
    rows = std::min(rows, inFlight_);
    inFlight_ -= rows;
    acknowledged_ += rows;
}

void PublishQueue::abandon(std::size_t rows) {
    std::lock_guard lock(mutex_);
    rows = std::min(rows, inFlight_);
    inFlight_ -= rows;
    abandoned_ += rows;
}

PublishQueue::DropReport PublishQueue::takeDropReport(bool ending) {
    std::lock_guard lock(mutex_);
    DropReport report;
    if (episodeOpen_ && !episodeAnnounced_) {
        report.started = true;
        episodeAnnounced_ = true;
    }
    if (episodeOpen_ && (ending || waiting_.size() + inFlight_ < capacity_)) {
        report.ended = episodeDropped_;
        episodeDropped_ = 0;
        episodeOpen_ = false;
        episodeAnnounced_ = false;
    }
    return report;
}

PublishQueue::Counts PublishQueue::counts() const {
    std::lock_guard lock(mutex_);
    return {waiting_.size(), inFlight_, acknowledged_, dropped_, abandoned_};
}

bool PublishQueue::empty() const {
    std::lock_guard lock(mutex_);
    return waiting_.empty() && inFlight_ == 0;
}

} // namespace velkor::outbox
