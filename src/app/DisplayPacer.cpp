#include "app/DisplayPacer.h"

#include "platform/Clock.h"

namespace velkor {

DisplayPacer::DisplayPacer(const Clock& clock, std::function<void()> showAll, QObject* parent)
    : QObject(parent), clock_(clock), show_(std::move(showAll)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (pending_) {
            show();
        }
    });
}

void DisplayPacer::frameArrived() {
    pending_ = true;
    if (timer_.isActive()) {
        return; // shown when the interval is over
    }
    const qint64 since = clock_.monotonicMs() - lastShownMs_;
    if (!shownOnce_ || since >= kIntervalMs || since < 0) {
        show();
    } else {
        timer_.start(static_cast<int>(kIntervalMs - since));
    }
}

void DisplayPacer::showNow() {
    timer_.stop();
    show();
}

void DisplayPacer::show() {
    pending_ = false;
    shownOnce_ = true;
    lastShownMs_ = clock_.monotonicMs();
    show_();
}

} // namespace velkor
