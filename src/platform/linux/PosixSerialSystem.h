#pragma once

#include "platform/SerialSystem.h"

namespace velkor {

// The real calls.
class PosixSerialSystem final : public SerialSystem {
public:
    int open(const char* path, int flags) override;
    int close(int fd) override;
    ssize_t read(int fd, void* buf, std::size_t count) override;
    ssize_t write(int fd, const void* buf, std::size_t count) override;
    int tcgetattr(int fd, termios* t) override;
    int tcsetattr(int fd, int action, const termios* t) override;
    int tcflush(int fd, int queue) override;
    int ioctl(int fd, unsigned long request, int* arg) override;
    int flock(int fd, int operation) override;
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override;

    // One instance serves the whole program.
    static PosixSerialSystem& instance();
};

} // namespace velkor
