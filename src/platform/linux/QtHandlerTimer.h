#pragma once

#include "platform/HandlerTimer.h"

class QTimer;

namespace velkor {

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

} // namespace velkor
