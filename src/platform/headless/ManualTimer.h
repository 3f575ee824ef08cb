#pragma once

#include "platform/HandlerTimer.h"

namespace velkor {

// A timer that only keeps its state: tests and the command line fire the
// handler themselves. Counts the countdowns started, so a test can tell a
// restart from a running timer left alone.
class ManualTimer final : public HandlerTimer {
public:
    explicit ManualTimer(int intervalMs = 1000) : interval_(intervalMs) {}
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override {
        if (on && !enabled_) {
            ++countdowns;
        }
        enabled_ = on;
    }
    int interval() const override { return interval_; }
    void setInterval(int ms) override {
        if (ms != interval_ && enabled_) {
            ++countdowns;
        }
        interval_ = ms;
    }

    int countdowns = 0;

private:
    bool enabled_ = false;
    int interval_;
};

} // namespace velkor
