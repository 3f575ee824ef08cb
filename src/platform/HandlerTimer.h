#pragma once

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

} // namespace velkor
