#pragma once

#include "disk/LogFileResult.h"
#include "meter/Marks.h"
#include "record/LogRecord.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace velkor::sqlite {
class Database;
} // namespace velkor::sqlite

namespace velkor {

class LogRowBuffer;

// What a run says about itself in the file's table of runs.
struct LogRunInfo {
    QString program;   // what writes it, with its version: "velkor-cli 1.0.0"
    QString variant;   // the meter variant: "IFHALVIN"
    QString device;    // "/dev/ttyUSB0", "hid", a file, "stdin"; "" for the window's log
    QDateTime started; // invalid: when the writer opens the file
    std::optional<QString> limitHi, limitLo;
    std::optional<int> samplingSeconds; // none: continuous
    std::optional<bool> repeats;
    std::optional<qint64> maxRecords; // none: no size limit
};

// One logged reading as the SQLite log keeps it: the log's row, its texts
// in UTF-8 (short texts stay inside the strings: a row costs no memory of
// its own), and what the other forms cannot hold.
struct LoggedReading {
    std::optional<qint32> no, nval;
    std::string time, function, value, unit, judge;
    std::optional<qint64> utcMs; // the moment it was logged (Unix time, ms)
    int utcOffset = 0;           // seconds east of UTC at that moment
    std::optional<MarkSet> marks;
    // The frame's bytes as decoded (frameSize 0: not known).
    std::array<char, 32> frame{};
    quint8 frameSize = 0;

    // The log's fields of the row.
    void setRow(const LogRecord& row);
    // A reading logged at `moment`.
    void setMoment(const QDateTime& moment);
    // The frame from the decoder's hex text (an odd last digit is left out).
    void setFrameHex(const std::string& hex);
};

// A file of the SQLite log form (".sqlite", ".db", any case).
bool isSqliteName(const QString& fileName);

// Appends one run to an SQLite log file row by row: the file grows, nothing
// in it is ever rewritten. Rows handed over go to a thread of the writer's
// own, so the logger never waits for the disk; it writes them in one
// transaction at least once a second while rows come (the first row of a
// transaction waits at most kCommitIntervalMs). The file is in
// write-ahead-log mode with synchronous=FULL: a commit is on the disk when
// it returns, and a kill or a power cut at any moment leaves a sound file
// with every committed row. Readers (the sqlite3 shell, a dashboard) may
// read the file at any time; a second writer is refused for as long as
// this one holds the file. Rows that cannot be written (a full disk) wait
// in memory and go in with a later commit, tried every kCommitIntervalMs.
class LogSqliteWriter {
public:
    static constexpr int kCommitIntervalMs = 1000;
    // Rows that make a commit due before the second is over (a fast input).
    static constexpr qsizetype kCommitRows = 20'000;
    // Rows handed over and not yet taken by the writer at which append()
    // waits for it, while the file can be written (memory stays bounded
    // however fast the input; a meter never comes near).
    static constexpr qsizetype kHeldRows = 3 * kCommitRows;
    // Rows that may wait while the file cannot be written; beyond, the
    // writer gives up (Health::overflowing).
    static constexpr qsizetype kMaxWaitingRows = 500'000;

    explicit LogSqliteWriter(QString fileName);
    // Writes what was handed over and ends the run, as finish() does.
    ~LogSqliteWriter();
    LogSqliteWriter(const LogSqliteWriter&) = delete;
    LogSqliteWriter& operator=(const LogSqliteWriter&) = delete;

    // Takes the file for this writer alone, makes it a log when it is new
    // or empty and checks that it is one otherwise: a file that is not is
    // refused and left as it was. The run itself enters the file with its
    // first committed row, so a run that logs nothing leaves no trace.
    LogFileResult open(const LogRunInfo& run);
    // Whether a writer of this process holds the file. Nothing else may
    // open and close a descriptor of such a file: closing one drops the
    // locks the process holds on it, SQLite's included.
    static bool heldInThisProcess(const QString& fileName);
    // open() failed because another writer holds the file.
    bool lockedByAnother() const { return lockedByAnother_; }
    const QString& fileName() const { return fileName_; }

    // Hands logged readings to the writer.
    void append(LoggedReading reading);
    void append(std::vector<LoggedReading>&& readings);

    // How the writing goes.
    struct Health {
        bool failing = false; // the last commit failed; the rows wait
        QString reason;       // why
        qsizetype waiting = 0;
        bool overflowing = false; // more than kMaxWaitingRows wait
    };
    Health health() const;

    // Writes every row handed over so far and waits until it is written.
    LogFileResult commitNow();
    // Writes what waits, notes the run's end and closes the file.
    LogFileResult finish();

    // The run's number in the file, once it is there (0: not yet).
    qint64 run() const;

    // Appends a whole log as one run, all rows or none (the window's save,
    // convert into a .sqlite file).
    static LogFileResult saveAll(const LogRowBuffer& rows, const QString& fileName,
                                 const LogRunInfo& run);

private:
    class Inserter;
    using Clock = std::chrono::steady_clock;
    using Batches = std::vector<std::vector<LoggedReading>>;

    void work();
    bool commit(const Batches& batches, QString* why);
    bool insertRun();
    bool endRun();
    void releaseFile();

    QString fileName_;
    LogRunInfo info_;
    std::unique_ptr<sqlite::Database> db_;
    std::unique_ptr<Inserter> inserter_;
    int lockFd_ = -1;
    std::optional<std::pair<dev_t, ino_t>> held_; // the file, while this writer holds it
    bool lockedByAnother_ = false;

    // Shared with the writer's thread.
    mutable std::mutex m_;
    std::condition_variable wake_;    // rows, a request, the end
    std::condition_variable written_; // a commit done, room for rows
    Batches incoming_;                // as handed over
    qsizetype incomingRows_ = 0;
    Clock::time_point firstIncoming_;
    qint64 runId_ = 0;
    quint64 handedOver_ = 0;  // rows appended
    quint64 committed_ = 0;   // rows in the file
    quint64 commitAsked_ = 0; // commitNow(): rows to commit at once
    bool stop_ = false;
    Health health_;
    std::thread thread_;
};

} // namespace velkor
