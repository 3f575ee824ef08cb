#pragma once

#include <cstddef>
#include <sys/stat.h>
#include <sys/types.h>

namespace velkor {

// The operating-system calls a file is saved with, one virtual per call
// with the POSIX signature and meaning (a failure returns -1 and leaves the
// reason in errno). The program makes the calls directly; tests put a
// substitute in that forwards to it and makes chosen calls fail (a full
// disk, an I/O error), return short writes or be interrupted.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual ssize_t write(int fd, const void* buf, std::size_t count) = 0;
    virtual int fsync(int fd) = 0;
    // Starts writing the given bytes of the file to the disk without
    // waiting for them (sync_file_range with SYNC_FILE_RANGE_WRITE), so
    // that the fsync at the end of a large file has less left to wait for.
    virtual int startWriteback(int fd, off_t offset, off_t count) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int stat(const char* path, struct stat* st) = 0;
    virtual int lstat(const char* path, struct stat* st) = 0;
    virtual ssize_t readlink(const char* path, char* buf, std::size_t size) = 0;
    virtual int access(const char* path, int mode) = 0;
    virtual int linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
                       int flags) = 0;
    virtual int rename(const char* oldPath, const char* newPath) = 0;
    virtual int unlink(const char* path) = 0;
};

} // namespace velkor
