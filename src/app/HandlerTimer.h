#pragma once

class QTimer;

namespace velkor {

// A window timer as its handlers use it: an enabled flag and an interval.
// Enabling a stopped timer starts its countdown; enabling a running one
// changes nothing, so a steady stream of enables cannot hold a tick off.
// Disabling and enabling again restarts the countdown. A different interval
// restarts a running countdown; the same interval changes nothing.
class HandlerTimer {
public:
    virtual ~HandlerTimer() = default;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual int interval() const = 0;
    virtual void setInterval(int ms) = 0;

    // Disable, then enable: the countdown starts again from the full interval.
    void restart() {
        setEnabled(false);
        setEnabled(true);
    }
};

// A HandlerTimer over a QTimer that its owner connects to the handler.
class QtHandlerTimer final : public HandlerTimer {
public:
    explicit QtHandlerTimer(QTimer& timer) : timer_(timer) {}
    bool enabled() const override;
    void setEnabled(bool on) override;
    int interval() const override;
    void setInterval(int ms) override;

private:
    QTimer& timer_;
};

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
