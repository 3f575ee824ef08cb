#pragma once

#include "logfiles/sqlite/LogSqliteWriter.h"
#include "record/JournalFile.h"
#include "record/LogRecord.h"
#include "record/LogRowBuffer.h"
#include "record/RowDates.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velkor {

// A journal an earlier window left behind, read and checked, and held
// locked while it is in hand: an SQLite journal, or one in the line format
// earlier versions wrote.
struct JournalLeftover {
    QString path;
    bool inUse = false; // a running window holds it
    bool damaged = false;
    QString reason;                                // why it is damaged
    LogRowBuffer rows;                             // the rows it holds, when it is sound
    RowDates dates;                                // their days (row 0 is its first row)
    std::vector<std::optional<RowMoment>> moments; // when each was logged
    JournalFile file;                              // open and locked while in hand
};

// The window's log row by row in an SQLite log file of its own, so that a
// crash or a power cut loses no logged row that was not saved: each row is
// handed to a writer on a thread of its own (LogSqliteWriter: write-ahead
// log, synchronous=FULL, a commit at least once a second), so a kill or a
// power cut loses at most the last second and the window never waits for
// the disk. The file is made with the first row: a window that logs
// nothing leaves nothing behind. A save or a cleared log removes the file
// (the next row makes a new one), and so does a clean end. The next start
// finds the file of a window that did not end cleanly and offers its rows
// back; journals of the line format earlier versions wrote
// ("journal-*.txt") are found and offered the same way.
class LogSqliteJournal {
public:
    // Rows a journal may hold: the log's largest size limit, twice (rows
    // given back from an earlier journal come on top of those logged).
    static constexpr qsizetype kMaxRows = 20'000'000;

    // A journal in `directory`, its runs described by `run`.
    LogSqliteJournal(QString directory, LogRunInfo run);
    // Without finish(): the file stays, as after a crash.
    ~LogSqliteJournal();
    LogSqliteJournal(const LogSqliteJournal&) = delete;
    LogSqliteJournal& operator=(const LogSqliteJournal&) = delete;

    // Makes the folder (private to the user) when it is missing. False,
    // with error(), when it cannot.
    bool open();
    bool isOpen() const { return ready_ && !failed_; }
    // This window's file; empty while it has none (no row logged since the
    // start, the last save or the last new log).
    const QString& path() const { return path_; }
    const QString& directory() const { return directory_; }
    const QString& error() const { return error_; }

    // One logged row and the moment it was logged.
    void append(const LogRecord& row, const QDateTime& when);
    // The rows of an earlier journal, given back to the log.
    void carryOver(const JournalLeftover& leftover);
    // The rows are safe (saved) or gone (a new log, a file opened in its
    // place): the file goes.
    void clear();
    // A clean end: the file goes.
    void finish();
    // Called once, with the reason, when the file cannot be made or
    // written; rows that could not be written wait in memory and are tried
    // again.
    std::function<void(const QString&)> onFailure;

    // ----- What earlier windows left behind -----
    // The journals in the directory of windows that are not running (no
    // window holds their lock), other than this one's, each read and
    // checked, oldest first.
    std::vector<JournalLeftover> leftovers() const;
    // Reads and checks one journal file of either form; `inUse` when a
    // running window holds it.
    static JournalLeftover read(const QString& path);
    // A damaged journal is renamed beside itself (".damaged"), never
    // deleted; returns the new name, or the old one when the rename failed.
    static QString setAside(JournalLeftover& leftover);
    // A journal whose rows were given back or refused.
    static void discard(JournalLeftover& leftover);
    // How the journal files' names end, this form's and the line format's.
    static const QStringList& nameSuffixes();

private:
    bool ensureFile();
    void fail(const QString& reason);
    void dropFile();
    void hand(LoggedReading reading);

    QString directory_;
    LogRunInfo run_;
    QString path_;
    QString error_;
    std::unique_ptr<LogSqliteWriter> writer_;
    qsizetype rows_ = 0;
    bool ready_ = false;
    bool failed_ = false;
};

} // namespace velkor
