#pragma once

#include "InjectedFaults.h"
#include "platform/FileSystem.h"
#include "platform/posix/PosixFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace velkor::test {

// The operations whose calls can be made to fail.
enum class FileOp { Open, Close, Write, Fsync, Fchmod, Linkat, Rename, Unlink };

// The real file system calls, with failures injected on demand: chosen
// calls of an operation fail with a given errno instead of reaching the
// system (EINTR among them), and writes can be cut short.
class FaultyFileSystem final : public FileSystem, private InjectedFaults<FileOp> {
public:
    using Op = FileOp;

    // After `after` calls of op, the next `times` calls fail with code
    // (times < 0: every call). The Nth call: after = N - 1.
    void fail(Op op, int code, int times = 1, int after = 0) { add(op, code, times, after); }
    // Each write passes at most this many bytes on to the system (0: all).
    std::size_t shortWrites = 0;
    // The calls made of each operation, failed ones included.
    using InjectedFaults<FileOp>::calls;

    int open(const char* path, int flags, mode_t mode) override {
        return faulted(Op::Open) ? -1 : real_.open(path, flags, mode);
    }
    int close(int fd) override {
        if (faulted(Op::Close)) {
            // Linux releases the descriptor even when close fails.
            real_.close(fd);
            return -1;
        }
        return real_.close(fd);
    }
    ssize_t write(int fd, const void* buf, std::size_t count) override {
        if (faulted(Op::Write)) {
            return -1;
        }
        return real_.write(fd, buf, shortWrites > 0 ? std::min(count, shortWrites) : count);
    }
    int fsync(int fd) override { return faulted(Op::Fsync) ? -1 : real_.fsync(fd); }
    int startWriteback(int fd, off_t offset, off_t count) override {
        return real_.startWriteback(fd, offset, count);
    }
    int fchmod(int fd, mode_t mode) override {
        return faulted(Op::Fchmod) ? -1 : real_.fchmod(fd, mode);
    }
    int stat(const char* path, struct stat* st) override { return real_.stat(path, st); }
    int lstat(const char* path, struct stat* st) override { return real_.lstat(path, st); }
    ssize_t readlink(const char* path, char* buf, std::size_t size) override {
        return real_.readlink(path, buf, size);
    }
    int access(const char* path, int mode) override { return real_.access(path, mode); }
    int linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath,
               int flags) override {
        return faulted(Op::Linkat) ? -1 : real_.linkat(oldDirFd, oldPath, newDirFd, newPath, flags);
    }
    int rename(const char* oldPath, const char* newPath) override {
        return faulted(Op::Rename) ? -1 : real_.rename(oldPath, newPath);
    }
    int unlink(const char* path) override { return faulted(Op::Unlink) ? -1 : real_.unlink(path); }

private:
    PosixFileSystem real_;
};

} // namespace velkor::test
