#include "http/RowHandOff.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

namespace velkor::http {

RowHandOff::RowHandOff(std::size_t capacity) : capacity_(capacity) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

RowHandOff::~RowHandOff() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void RowHandOff::wake() {
    if (wakeFd_ < 0) {
        return;
    }
    const std::uint64_t one = 1;
    // Non-blocking: a counter at its maximum already wakes the server.
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void RowHandOff::push(Item item) {
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        if (const auto* live = std::get_if<LiveRow>(&item)) {
            if (waitingRows_ >= capacity_) {
                ++missed_.rows;
                if (live->row.Auto == QLatin1String("Fail")) {
                    ++missed_.fails;
                }
                return;
            }
            ++waitingRows_;
        }
        first = waiting_.empty();
        waiting_.push_back(std::move(item));
    }
    if (first) {
        wake();
    }
}

RowHandOff::Missed RowHandOff::take(std::vector<Item>& items) {
    items.clear();
    if (wakeFd_ >= 0) {
        std::uint64_t count = 0;
        while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
    const std::lock_guard lock(mutex_);
    items.swap(waiting_);
    waitingRows_ = 0;
    const Missed missed = missed_;
    missed_ = {};
    return missed;
}

} // namespace velkor::http
