#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace velkor::cli {

// While it lives, SIGINT and SIGTERM end the running event loop
// (QCoreApplication::quit) instead of the process, so that the program can
// close its ports and remove what it made on the way out. The signal handler
// only writes to an eventfd; the quit happens in the event loop.
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
