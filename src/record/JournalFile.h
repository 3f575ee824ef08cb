#pragma once

#include <QString>
#include <QtGlobal>

namespace velkor {

// A journal file taken in hand to be read: open read-only (a symbolic link
// is not followed) and locked exclusively (flock) so that no window starts
// writing it meanwhile; a window that writes a journal holds that lock. The
// file is closed, and so let go, when this goes.
class JournalFile {
public:
    enum class Taken {
        Held,   // open and locked
        InUse,  // a running window holds it
        Failed, // it cannot be read, or it is not a regular file: see `why`
    };

    JournalFile() = default;
    JournalFile(JournalFile&& other) noexcept;
    JournalFile& operator=(JournalFile&& other) noexcept;
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;
    ~JournalFile();

    Taken take(const QString& path, QString* why);
    int fd() const { return fd_; }
    // The file's size when it was taken.
    qint64 size() const { return size_; }
    // Lets the file go.
    void close();

private:
    int fd_ = -1;
    qint64 size_ = 0;
};

} // namespace velkor
