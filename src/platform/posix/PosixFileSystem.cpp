#include "platform/posix/PosixFileSystem.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace velkor {

int PosixFileSystem::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
int PosixFileSystem::close(int fd) {
    return ::close(fd);
}
ssize_t PosixFileSystem::write(int fd, const void* buf, std::size_t count) {
    return ::write(fd, buf, count);
}
int PosixFileSystem::fsync(int fd) {
    return ::fsync(fd);
}

int PosixFileSystem::startWriteback(int fd, off_t offset, off_t count) {
    return ::sync_file_range(fd, offset, count, SYNC_FILE_RANGE_WRITE);
}
int PosixFileSystem::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int PosixFileSystem::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int PosixFileSystem::lstat(const char* path, struct stat* st) {
    return ::lstat(path, st);
}
ssize_t PosixFileSystem::readlink(const char* path, char* buf, std::size_t size) {
    return ::readlink(path, buf, size);
}
int PosixFileSystem::access(const char* path, int mode) {
    return ::access(path, mode);
}
int PosixFileSystem::linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                            int flags) {
    return ::linkat(oldDirFd, oldPath, newDirFd, newPath, flags);
}
int PosixFileSystem::rename(const char* oldPath, const char* newPath) {
    return ::rename(oldPath, newPath);
}
int PosixFileSystem::unlink(const char* path) {
    return ::unlink(path);
}

PosixFileSystem& PosixFileSystem::instance() {
    static PosixFileSystem fs;
    return fs;
}

} // namespace velkor
