#pragma once

#include "http/EventText.h"
#include "http/HeldRows.h"
#include "http/MeterMetrics.h"
#include "http/RowHandOff.h"

#include <cstdint>

namespace velkor::http {

// What the server knows of the run, kept on the server's thread alone: the
// rows held, the metrics and the status, fed from the hand-off.
class ServerState {
public:
    explicit ServerState(std::size_t heldRows) : held_(heldRows) {}

    // One item from the logging side.
    void absorb(RowHandOff::Item& item);
    void absorbMissed(const RowHandOff::Missed& missed);

    void setConnections(int connections) { metrics_.setConnections(connections); }

    const HeldRows& held() const { return held_; }
    const MeterMetrics& metrics() const { return metrics_; }
    StreamStatus status() const;
    // Changes with the link and the limits (not with every row).
    std::uint64_t statusVersion() const { return statusVersion_; }

private:
    HeldRows held_;
    MeterMetrics metrics_;
    LinkState link_ = LinkState::Reading;
    QString hi_;
    QString lo_;
    std::uint64_t statusVersion_ = 1;
    QByteArray csv_; // reused for each row's line
};

} // namespace velkor::http
