#pragma once

#include "platform/FileSystem.h"
#include "platform/posix/PosixFileSystem.h"
#include "record/LogRecord.h"
#include "record/LogRowBuffer.h"
#include "record/RowDates.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velkor {

// A journal an earlier run left behind, read and checked, and held locked
// while it is in hand.
struct LogJournalLeftover {
    LogJournalLeftover() = default;
    LogJournalLeftover(LogJournalLeftover&& other) noexcept;
    LogJournalLeftover& operator=(LogJournalLeftover&& other) noexcept;
    ~LogJournalLeftover();

    QString path;
    bool inUse = false; // a running window holds it
    bool damaged = false;
    QString reason;                 // why it is damaged
    LogRowBuffer rows;              // the rows it holds, when it is sound
    RowDates dates;                 // their days (row 0 is its first row)
    std::vector<RowMoment> moments; // when each row was logged
    qint64 linesEnd = 0;            // the end of its last sound row line
    int fd = -1;                    // open and locked while in hand
};

// A file that follows the window's log row by row, so that a crash or a
// power cut loses no logged row that was not saved. Each logged row is
// written to the file at once (a crash of the program loses nothing) and
// the file is flushed to the disk within a second (a power cut loses at
// most that second), by a thread of its own so the window never waits for
// the disk. A clean end removes the file; a save or a cleared log empties
// it. The next start finds the file of a run that did not end cleanly and
// offers its rows back.
//
// The file, in UTF-8, one line per row after a header line:
//   velkor journal 1
//   No TAB Timestamp TAB Time TAB DC/AC TAB Value TAB Unit TAB Auto TAB CRC
// Timestamp is ISO 8601 with its UTC offset; tab, line feed, carriage return
// and backslash in a text are written \t \n \r \\; CRC is the CRC-32 of the
// line before its last tab, as 8 hex digits. A file is read back only when
// every line checks out: a line cut short at the very end (the write the
// crash interrupted) and zero bytes after the last line (blocks the disk
// had not filled) are dropped; anything else makes the file damaged.
class LogJournal {
public:
    // Rows a journal may hold: the log's largest size limit, twice (rows
    // given back from an earlier journal come on top of those logged).
    static constexpr qsizetype kMaxRows = 20'000'000;

    // A journal in `directory` (made, private to the user, when missing),
    // its rows written through `fs`.
    explicit LogJournal(QString directory, FileSystem& fs = PosixFileSystem::instance());
    // Without finish(): the file stays, as after a crash.
    ~LogJournal();
    LogJournal(const LogJournal&) = delete;
    LogJournal& operator=(const LogJournal&) = delete;

    // Makes this run's file and holds it locked while the run lasts (other
    // windows leave it alone). False, with error(), when it cannot.
    bool open();
    bool isOpen() const { return fd_ >= 0; }
    const QString& path() const { return path_; }
    const QString& directory() const { return directory_; }
    const QString& error() const { return error_; }

    // One logged row and the moment it was logged.
    void append(const LogRecord& row, const QDateTime& when);
    // The row lines of an earlier journal, whose rows were given back to
    // the log.
    void carryOver(const struct LogJournalLeftover& leftover);
    // The rows are safe (saved) or gone (a new log, a file opened in its
    // place): the file keeps only its header.
    void clear();
    // A clean end: the file goes.
    void finish();
    // Called once, with the reason, when the file cannot be written; the
    // journal then stops.
    std::function<void(const QString&)> onFailure;

    // ----- What earlier runs left behind -----
    using Leftover = LogJournalLeftover;
    // The journals in the directory of runs that are not running (no run
    // holds their lock), other than this one's, each read and checked,
    // oldest first.
    std::vector<Leftover> leftovers() const;
    // Reads and checks one journal file; `inUse` when a running window
    // holds it.
    static Leftover read(const QString& path);
    // A damaged journal is renamed beside itself (".damaged"), never
    // deleted; returns the new name, or the old one when the rename failed.
    static QString setAside(Leftover& leftover);
    // A journal whose rows were given back or refused.
    static void discard(Leftover& leftover);
    // How every journal file's name ends (".txt").
    static QString nameSuffix();

    // The CRC-32 (IEEE) of the bytes.
    static std::uint32_t crc32(const char* data, std::size_t size);
    // The line of one row, with its line end.
    static QByteArray rowLine(const LogRecord& row, const QDateTime& when);

private:
    void fail(const QString& reason);
    void writeAll(const char* data, qsizetype size);
    void startSyncThread();
    void stopSyncThread();
    void syncLoop();

    FileSystem& fs_;
    QString directory_;
    QString path_;
    QString error_;
    int fd_ = -1;
    qsizetype rows_ = 0;
    bool failed_ = false;

    std::mutex m_;
    std::condition_variable cv_;
    bool dirty_ = false;
    bool stop_ = false;
    std::thread sync_;
};

} // namespace velkor
