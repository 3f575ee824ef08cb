#pragma once

#include "platform/FileSystem.h"

#include <QIODevice>
#include <memory>

namespace velkor {

// A write-only device over an open file descriptor, written through a
// FileSystem in large pieces: what is written collects in a buffer of
// kBufferBytes, so a file of tens of megabytes takes a few dozen calls.
// A short write is continued and an interrupted one retried; a failed one
// keeps the system's reason (failure(), errorString()) and every later
// write fails too. Sequential: it cannot seek. Closing it, or drain(),
// writes out what is buffered; the descriptor stays open. The file is
// written from its start, and every kWritebackBytes written are handed to
// the disk at once, so that the disk works while the rest is made.
class DescriptorOutput final : public QIODevice {
public:
    static constexpr qsizetype kBufferBytes = qsizetype(1) << 20;
    static constexpr off_t kWritebackBytes = off_t(8) << 20;

    DescriptorOutput(FileSystem& fs, int fd);

    bool isSequential() const override { return true; }
    void close() override;
    // Writes out what is buffered; false when a write failed.
    bool drain();
    // The errno of the write that failed; 0 while none has.
    int failure() const { return error_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool writeAll(const char* data, qint64 size);

    FileSystem& fs_;
    int fd_;
    std::unique_ptr<char[]> buffer_;
    qint64 used_ = 0;
    off_t written_ = 0;     // bytes written to the file so far
    off_t writtenBack_ = 0; // of which handed to the disk
    int error_ = 0;
};

} // namespace velkor
