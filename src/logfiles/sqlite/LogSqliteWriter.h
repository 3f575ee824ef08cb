#pragma once

#include "disk/LogFileResult.h"
#include "meter/Marks.h"
#include "record/LogRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velkor::sqlite {
class Database;
class Statement;
} // namespace velkor::sqlite

namespace velkor {

class LogRowBuffer;

// What a run says about itself in the file's table of runs.
struct LogRunInfo {
    QString program;   // what writes it, with its version: "velkor-cli 1.0.0"
    QString variant;   // the meter variant: "IFHALVIN"
    QString device;    // "/dev/ttyUSB0", "hid", a file, "stdin"; "" for a log saved whole
    QDateTime started; // invalid: when the writer opens the file
    std::optional<QString> limitHi, limitLo;
    std::optional<int> samplingSeconds; // none: continuous
    std::optional<bool> repeats;
    std::optional<qint64> maxRecords; // none: no size limit
};

// One logged reading as the SQLite log keeps it: the log's row and what the
// other forms cannot hold.
struct LoggedReading {
    LogRecord row;
    std::optional<qint64> utcMs; // the moment it was logged (Unix time, ms)
    int utcOffset = 0;           // seconds east of UTC at that moment
    std::optional<MarkSet> marks;
    QByteArray frame; // the frame's bytes as decoded; empty: not known

    // A reading logged at `moment`.
    void setMoment(const QDateTime& moment);
    // The frame from the decoder's hex text (an odd last digit is left out).
    void setFrameHex(const std::string& hex);
};

// A file of the SQLite log form (".sqlite", ".db", any case).
bool isSqliteName(const QString& fileName);

// Appends one run to an SQLite log file row by row: the file grows, nothing
// in it is ever rewritten. The rows appended since the last commit wait in
// memory (a second's worth) and go in at the next commit in one
// transaction; the file is in write-ahead-log mode with synchronous=FULL,
// so a commit is on the disk when it returns, and a kill or a power cut at
// any moment leaves every committed row and a sound file. Readers (the
// sqlite3 shell, a dashboard) may read the file at any time; a second
// writer is refused for as long as this one holds the file.
class LogSqliteWriter {
public:
    // Commit at least this often while rows come.
    static constexpr int kCommitIntervalMs = 1000;
    // Rows waiting that make a commit due at once (a fast input).
    static constexpr qsizetype kCommitRows = 50'000;
    // Rows that may wait while the file cannot be written; beyond, the
    // writer gives up (failed()).
    static constexpr qsizetype kMaxWaitingRows = 500'000;

    explicit LogSqliteWriter(QString fileName);
    // Commits what waits and ends the run, as finish() does.
    ~LogSqliteWriter();
    LogSqliteWriter(const LogSqliteWriter&) = delete;
    LogSqliteWriter& operator=(const LogSqliteWriter&) = delete;

    // Takes the file for this writer alone, makes it a log when it is new
    // or empty and checks that it is one otherwise: a file that is not is
    // refused and left as it was. The run itself enters the file with its
    // first committed row, so a run that logs nothing leaves no trace.
    LogFileResult open(const LogRunInfo& run);
    // open() failed because another writer holds the file.
    bool lockedByAnother() const { return lockedByAnother_; }
    const QString& fileName() const { return fileName_; }

    // A logged reading; written at the next commit.
    void append(LoggedReading reading);
    // Rows waiting for a commit.
    qsizetype waiting() const { return static_cast<qsizetype>(waiting_.size()); }
    // Whether a commit is due now: the oldest waiting row has waited
    // kCommitIntervalMs, or kCommitRows wait; after a failed commit, not
    // before kCommitIntervalMs have passed.
    bool commitDue() const;
    // Milliseconds until a commit is due (0: now; -1: nothing waits).
    qint64 msUntilCommitDue() const;
    // Writes the waiting rows in one transaction. On failure they keep
    // waiting, to be written by a later commit.
    LogFileResult commit();
    // More rows wait than may (kMaxWaitingRows): the file has failed for
    // too long.
    bool overflowing() const { return waiting() > kMaxWaitingRows; }
    // Commits what waits, notes the run's end and closes the file.
    LogFileResult finish();

    // The run's number in the file, once it is there (0: not yet).
    qint64 run() const { return runId_; }

    // Appends a whole log as one run, all rows or none (the window's save,
    // convert into a .sqlite file).
    static LogFileResult saveAll(const LogRowBuffer& rows, const QString& fileName,
                                 const LogRunInfo& run);

private:
    bool insertRun();
    bool insert(const LoggedReading& r);
    void releaseFile();

    QString fileName_;
    LogRunInfo info_;
    std::unique_ptr<sqlite::Database> db_;
    std::unique_ptr<sqlite::Statement> insertReading_;
    int lockFd_ = -1;
    bool lockedByAnother_ = false;
    qint64 runId_ = 0;
    std::vector<LoggedReading> waiting_;
    QElapsedTimer waitingSince_;
    QElapsedTimer failedAt_;
    struct Derived;
    std::unique_ptr<Derived> derived_;
};

} // namespace velkor
