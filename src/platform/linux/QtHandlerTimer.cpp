#include "platform/linux/QtHandlerTimer.h"
#include "platform/HandlerTimer.h"

#include <QTimer>

namespace velkor {

bool QtHandlerTimer::enabled() const {
    return timer_.isActive();
}

void QtHandlerTimer::setEnabled(bool on) {
    if (on && !timer_.isActive()) {
        timer_.start();
    } else if (!on) {
        timer_.stop();
    }
}

int QtHandlerTimer::interval() const {
    return timer_.interval();
}

void QtHandlerTimer::setInterval(int ms) {
    if (ms != timer_.interval()) {
        timer_.setInterval(ms); // restarts a running timer
    }
}

} // namespace velkor
