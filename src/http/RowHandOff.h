#pragma once

#include "http/LiveRow.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <variant>
#include <vector>

namespace velkor::http {

// From the logging thread to the server's: rows, link changes and the
// limits. The logging side only appends under a lock that the server's
// side holds for a swap of two vectors, and wakes the server through an
// eventfd once per batch; it never waits for a client. At most `capacity`
// rows wait: beyond that a row is not queued, only counted, so that the
// counters stay exact while the server is behind.
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
    void push(Item item);

    // The server's side: everything waiting, in order, into `items` (which
    // is emptied first), and the rows counted but not queued since the
    // last call (`missedFails` of them judged Fail).
    struct Missed {
        std::uint64_t rows = 0;
        std::uint64_t fails = 0;
    };
    Missed take(std::vector<Item>& items);

private:
    void wake();

    const std::size_t capacity_;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::vector<Item> waiting_;
    std::size_t waitingRows_ = 0;
    Missed missed_;
};

} // namespace velkor::http
