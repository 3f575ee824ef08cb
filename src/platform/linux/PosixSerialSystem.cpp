#include "platform/linux/PosixSerialSystem.h"
#include "platform/SerialSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velkor {

int PosixSerialSystem::open(const char* path, int flags) {
    return ::open(path, flags);
}
int PosixSerialSystem::close(int fd) {
    return ::close(fd);
}
ssize_t PosixSerialSystem::read(int fd, void* buf, std::size_t count) {
    return ::read(fd, buf, count);
}
ssize_t PosixSerialSystem::write(int fd, const void* buf, std::size_t count) {
    return ::write(fd, buf, count);
}
int PosixSerialSystem::tcgetattr(int fd, termios* t) {
    return ::tcgetattr(fd, t);
}
int PosixSerialSystem::tcsetattr(int fd, int action, const termios* t) {
    return ::tcsetattr(fd, action, t);
}
int PosixSerialSystem::tcflush(int fd, int queue) {
    return ::tcflush(fd, queue);
}
int PosixSerialSystem::ioctl(int fd, unsigned long request, int* arg) {
    return ::ioctl(fd, request, arg);
}
int PosixSerialSystem::flock(int fd, int operation) {
    return ::flock(fd, operation);
}
int PosixSerialSystem::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

PosixSerialSystem& PosixSerialSystem::instance() {
    static PosixSerialSystem sys;
    return sys;
}

} // namespace velkor
