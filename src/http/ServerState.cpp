#include "http/ServerState.h"

#include "logfiles/LogCsvFile.h"
#include "json/LoggedReading.h"

namespace velkor::http {

void ServerState::absorb(RowHandOff::Item& item) {
    if (auto* live = std::get_if<LiveRow>(&item)) {
        metrics_.add(live->row, live->moment);
        csv_.clear();
        appendLogCsvRow(csv_, live->row, live->moment.date());
        held_.add(live->row.No.value_or(0),
                  json::readingJson(json::loggedReading(live->row, live->moment, live->marks)),
                  csv_);
    } else if (const auto* link = std::get_if<LinkState>(&item)) {
        if (*link != link_) {
            link_ = *link;
            metrics_.setLink(link_);
            ++statusVersion_;
        }
    } else if (const auto* limits = std::get_if<RowHandOff::Limits>(&item)) {
        hi_ = limits->hi;
        lo_ = limits->lo;
        ++statusVersion_;
    }
}

void ServerState::absorbMissed(const RowHandOff::Missed& missed) {
    metrics_.addUncounted(missed.rows, missed.fails);
}

StreamStatus ServerState::status() const {
    StreamStatus s;
    s.link = link_;
    s.rows = metrics_.rows();
    s.fails = metrics_.fails();
    s.lastNo = held_.lastNo();
    s.hi = hi_;
    s.lo = lo_;
    return s;
}

} // namespace velkor::http
