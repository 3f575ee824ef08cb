#pragma once

#include "disk/LogFileResult.h"
#include "platform/FileSystem.h"
#include "platform/posix/PosixFileSystem.h"

#include <QByteArray>
#include <QString>

namespace velkor {

// The one way a file of ours is saved. open() checks the target and makes
// an unnamed file in the target's directory; the caller writes it through
// handle() (or, for a library that wants a name, libraryPath()); commit()
// flushes it to the disk and puts it in the target's place in one step.
// A crash or a kill before that leaves the old file as it was and no
// temporary name behind. The rules:
// - a target that exists and is no regular file (a pipe, a device, a
//   directory) is refused and left alone;
// - a target the user may not write is refused;
// - a replaced file keeps its permission bits;
// - a symbolic link is written through: its target is replaced, the link
//   stays;
// - every failure says the system's reason, and leaves the target as it
//   was and no temporary name behind.
// Every system call goes through `fs`.
class FileSaver {
public:
    explicit FileSaver(const QString& fileName, FileSystem& fs = PosixFileSystem::instance());
    ~FileSaver();
    FileSaver(const FileSaver&) = delete;
    FileSaver& operator=(const FileSaver&) = delete;

    LogFileResult open();
    int handle() const { return fd_; }
    // A name that opens the unnamed file ("/proc/self/fd/N").
    QByteArray libraryPath() const;
    LogFileResult commit();
    // Drops what was written; the target stays as it was.
    void discard();

private:
    bool resolveLinks(int* error);
    QByteArray randomName() const;
    void syncDirectory();

    FileSystem& fs_;
    QByteArray target_;    // the file replaced, links followed
    QByteArray directory_; // where it lies
    QByteArray named_;     // the temporary name where unnamed files are unsupported
    int fd_ = -1;
    mode_t mode_ = 0;
    bool keepMode_ = false;
};

} // namespace velkor
