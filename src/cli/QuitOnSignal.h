#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace velkor::cli {

// While it lives, SIGINT, SIGTERM and SIGHUP end the running event loop
// (QCoreApplication::quit) instead of the process, so that the program can
// close its ports, save its log and remove what it made on the way out. The
// signal handler only writes to an eventfd; the quit happens in the event
// loop, also for a signal that came before the loop ran. Make it before
// anything tells the outside world that the program is ready.
class QuitOnSignal {
public:
    QuitOnSignal();
    ~QuitOnSignal();
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

    // True once a signal has arrived.
    bool signalled() const;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace velkor::cli
