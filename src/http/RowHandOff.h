#pragma once

#include "http/LiveRow.h"

#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace velkor::http {

// A logged row in a form of fixed size, copied into the hand-off without
// allocating: the logging thread makes no memory that the server's thread
// would have to give back (freeing another thread's memory contends with
// that thread for its allocator). Each text holds what the log's fields
// hold, at most kLogTextFieldWidth characters.
struct PackedRow {
    struct Text {
        quint8 size = 0;
        char16_t chars[kLogTextFieldWidth] = {};
    };
    qint32 no = 0;
    bool hasNo = false;
    bool hasMoment = false;
    qint64 msecs = 0;  // since 1970, UTC
    qint32 offset = 0; // seconds east of UTC, at that moment
    Text time, function, value, unit, judge, mark;
};

PackedRow packRow(const LiveRow& row);
LiveRow unpackRow(const PackedRow& packed);

// From the logging thread to the server's: rows and link changes in order,
// through a ring of fixed size that one thread fills and the other empties
// without a lock, and the limits. The server is woken through an eventfd
// at most once per batch it takes. The logging side never waits: a row
// that finds the ring full is not queued, only counted, so that the
// counters stay exact while the server is behind. One logging thread only.
class RowHandOff {
public:
    struct Limits {
        QString hi;
        QString lo;
    };
    using Item = std::variant<LiveRow, LinkState, Limits>;

    explicit RowHandOff(std::size_t capacity);
    ~RowHandOff();
    RowHandOff(const RowHandOff&) = delete;
    RowHandOff& operator=(const RowHandOff&) = delete;

    // Readable when items wait; -1 when no eventfd could be made (the
    // server then looks every few milliseconds).
    int wakeFd() const { return wakeFd_; }

    // The logging side.
    void push(const LiveRow& row);
    void push(LinkState state);
    void push(const Limits& limits);

    // The server's side: everything waiting, in order, into `items` (which
    // is emptied first; the limits first when they changed), and the rows
    // counted but not queued since the last call (`fails` of them judged
    // Fail).
    struct Missed {
        std::uint64_t rows = 0;
        std::uint64_t fails = 0;
    };
    Missed take(std::vector<Item>& items);

private:
    struct Slot {
        bool isLink = false;
        LinkState link = LinkState::Reading;
        PackedRow row;
    };
    bool tryPush(const Slot& slot);
    void wake();

    std::vector<Slot> slots_;
    std::atomic<std::uint64_t> head_{0}; // the next slot to take
    std::atomic<std::uint64_t> tail_{0}; // the next slot to fill
    std::atomic<bool> wakeArmed_{true};
    std::atomic<std::uint64_t> missedRows_{0};
    std::atomic<std::uint64_t> missedFails_{0};
    std::deque<LinkState> overflowLinks_; // link changes that found the ring full
    std::mutex mutex_;                    // for the limits and those link changes
    std::optional<Limits> limits_;
    int wakeFd_ = -1;
};

} // namespace velkor::http
