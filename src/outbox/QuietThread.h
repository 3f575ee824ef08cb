#pragma once

#include <csignal>
#include <pthread.h>
#include <thread>
#include <utility>

namespace velkor::outbox {

// Starts `work` on a thread that takes no asynchronous signals: SIGINT and
// SIGTERM go to the program's own handling, and a write to a socket the
// server has closed fails with EPIPE instead of raising SIGPIPE. The
// synchronous ones (a fault in the thread itself) stay as they are.
template <class Work> std::thread quietThread(Work&& work) {
    sigset_t blocked;
    sigset_t previous;
    sigfillset(&blocked);
    for (const int sync : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP}) {
        sigdelset(&blocked, sync);
    }
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    std::thread thread(std::forward<Work>(work));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

} // namespace velkor::outbox
