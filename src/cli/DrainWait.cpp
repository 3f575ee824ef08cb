#include "cli/DrainWait.h"

#include <chrono>
#include <thread>

namespace velkor::cli {

namespace {

constexpr std::chrono::milliseconds kDrainStall{3000};
constexpr std::chrono::milliseconds kDrainPoll{20};

} // namespace

void waitWhileDraining(const std::function<std::size_t()>& pending,
                       const std::function<bool()>& failed) {
    auto last = pending();
    auto progress = std::chrono::steady_clock::now();
    while (last > 0 && !failed()) {
        std::this_thread::sleep_for(kDrainPoll);
        const auto now = std::chrono::steady_clock::now();
        if (const auto p = pending(); p < last) {
            last = p;
            progress = now;
        } else if (now - progress >= kDrainStall) {
            break;
        }
    }
}

} // namespace velkor::cli
