#pragma once

#include <cstddef>
#include <poll.h>
#include <sys/types.h>
#include <termios.h>

namespace velkor {

// The few operating-system calls the serial port driver makes, one virtual
// per call with the POSIX signature and meaning (a failure returns -1 and
// leaves the reason in errno). The program makes the calls directly; tests put
// a substitute in that forwards to it and injects failures such as EINTR,
// EIO or a device that has gone (ENXIO).
class SerialSystem {
public:
    virtual ~SerialSystem() = default;

    virtual int open(const char* path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual ssize_t read(int fd, void* buf, std::size_t count) = 0;
    virtual ssize_t write(int fd, const void* buf, std::size_t count) = 0;
    virtual int tcgetattr(int fd, termios* t) = 0;
    virtual int tcsetattr(int fd, int action, const termios* t) = 0;
    virtual int tcflush(int fd, int queue) = 0;
    // The terminal requests the driver uses: TIOCEXCL (arg unused),
    // TIOCMBIS / TIOCMBIC (arg: modem line bits), TIOCOUTQ (arg: out).
    virtual int ioctl(int fd, unsigned long request, int* arg) = 0;
    virtual int flock(int fd, int operation) = 0;
    virtual int poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

} // namespace velkor
