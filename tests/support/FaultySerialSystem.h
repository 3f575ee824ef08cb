#pragma once

#include "InjectedFaults.h"
#include "platform/SerialSystem.h"
#include "platform/linux/PosixSerialSystem.h"

#include <cerrno>
#include <functional>
#include <map>
#include <sys/ioctl.h>
#include <utility>
#include <vector>

namespace velkor::test {

// The operations whose calls can be made to fail.
enum class SerialOp { Open, Read, Write, Poll, Flock, Tcsetattr, Tcflush };

// The real system calls, with failures injected on demand: the next calls of
// an operation fail with a given errno instead of reaching the system, and
// TIOCOUTQ can report a chosen output queue.
class FaultySerialSystem final : public SerialSystem, private InjectedFaults<SerialOp> {
public:
    using Op = SerialOp;

    // After `after` calls that reach the system, the next `times` calls of op
    // fail with code (times < 0: every call).
    void fail(Op op, int code, int times = 1, int after = 0) { add(op, code, times, after); }
    void clearFaults() { clear(); }
    // What TIOCOUTQ reports; the real queue when not set.
    std::function<int()> outQueued;
    // Called at every poll (SendData waits through it).
    std::function<void(int timeoutMs)> onPoll;
    using InjectedFaults<SerialOp>::calls;
    // The modem line requests made (TIOCMBIS or TIOCMBIC, the line bits).
    std::vector<std::pair<unsigned long, int>> modemRequests;
    // The queues flushed (TCIFLUSH, TCOFLUSH, TCIOFLUSH), in order.
    std::vector<int> flushes;
    // TIOCEXCL and TIOCNXCL requests, in order.
    std::vector<unsigned long> exclusiveRequests;
    // Like a UART that takes every line setting: tcgetattr returns what
    // tcsetattr was given (a pseudo-terminal keeps 8 data bits, no parity).
    bool takesEverySetting = false;

    int open(const char* path, int flags) override {
        return faulted(Op::Open) ? -1 : real_.open(path, flags);
    }
    ssize_t read(int fd, void* buf, std::size_t count) override {
        return faulted(Op::Read) ? -1 : real_.read(fd, buf, count);
    }
    ssize_t write(int fd, const void* buf, std::size_t count) override {
        return faulted(Op::Write) ? -1 : real_.write(fd, buf, count);
    }
    int tcgetattr(int fd, termios* t) override {
        const int r = real_.tcgetattr(fd, t);
        if (r == 0 && takesEverySetting && taken_.count(fd) != 0) {
            *t = taken_[fd];
        }
        return r;
    }
    int tcsetattr(int fd, int action, const termios* t) override {
        if (faulted(Op::Tcsetattr)) {
            return -1;
        }
        const int r = real_.tcsetattr(fd, action, t);
        if (!takesEverySetting) {
            return r;
        }
        taken_[fd] = *t;
        return 0;
    }
    int close(int fd) override {
        taken_.erase(fd);
        return real_.close(fd);
    }
    int tcflush(int fd, int queue) override {
        if (faulted(Op::Tcflush)) {
            return -1;
        }
        flushes.push_back(queue);
        return real_.tcflush(fd, queue);
    }
    int ioctl(int fd, unsigned long request, int* arg) override {
        if (request == TIOCMBIS || request == TIOCMBIC) {
            modemRequests.emplace_back(request, *arg);
        }
        if (request == TIOCEXCL || request == TIOCNXCL) {
            exclusiveRequests.push_back(request);
        }
        if (request == TIOCOUTQ && outQueued) {
            *arg = outQueued();
            return 0;
        }
        return real_.ioctl(fd, request, arg);
    }
    int flock(int fd, int operation) override {
        return faulted(Op::Flock) ? -1 : real_.flock(fd, operation);
    }
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        if (onPoll) {
            onPoll(timeoutMs);
        }
        return faulted(Op::Poll) ? -1 : real_.poll(fds, count, onPoll ? 0 : timeoutMs);
    }

private:
    PosixSerialSystem real_;
    std::map<int, termios> taken_;
};

} // namespace velkor::test
