#include "cli/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace velkor::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

int gQuitFd = -1;
volatile std::sig_atomic_t gSignalled = 0;

void onSignal(int) {
    gSignalled = 1;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(gQuitFd, &one, sizeof one);
}

} // namespace

QuitOnSignal::QuitOnSignal() {
    gSignalled = 0;
    gQuitFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(gQuitFd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {
        std::uint64_t n = 0;
        [[maybe_unused]] const ssize_t r = ::read(gQuitFd, &n, sizeof n);
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : kSignals) {
        sigaction(sig, &sa, nullptr);
    }
}

QuitOnSignal::~QuitOnSignal() {
    for (const int sig : kSignals) {
        std::signal(sig, SIG_DFL);
    }
    notifier_.reset();
    ::close(gQuitFd);
    gQuitFd = -1;
}

bool QuitOnSignal::signalled() const {
    return gSignalled != 0;
}

} // namespace velkor::cli
