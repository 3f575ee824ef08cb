#pragma once

#include "platform/FileSystem.h"

namespace velkor {

// The real calls.
class PosixFileSystem final : public FileSystem {
public:
    int open(const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    ssize_t write(int fd, const void* buf, std::size_t count) override;
    int fsync(int fd) override;
    int startWriteback(int fd, off_t offset, off_t count) override;
    int fchmod(int fd, mode_t mode) override;
    int stat(const char* path, struct stat* st) override;
    int lstat(const char* path, struct stat* st) override;
    ssize_t readlink(const char* path, char* buf, std::size_t size) override;
    int access(const char* path, int mode) override;
    int linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
               int flags) override;
    int rename(const char* oldPath, const char* newPath) override;
    int unlink(const char* path) override;

    // One instance serves the whole program.
    static PosixFileSystem& instance();
};

} // namespace velkor
