#pragma once

#include "cli/LogOptions.h"
#include "logfiles/sqlite/LogSqliteWriter.h"
#include "record/LogRecord.h"
#include "record/RowDates.h"
#include "stats/LogStatistics.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velkor {
class Clock;
class HidPlatform;
class LocaleSource;
class ManualTimer;
class MeterPipeline;
class MeterSession;
struct Reading;
class SerialPortNames;
class SerialSystem;
} // namespace velkor

namespace velkor::cli {

class LogSource;

// What a log run takes from the machine.
struct LogPlatform {
    const Clock& clock;
    const LocaleSource& locale;
    SerialSystem& serial;
    const SerialPortNames& portNames;
    HidPlatform& hid;
};

// velkor-cli log: the decoder, the limit judge and the measurement log's
// continuous record path, fed by a stream or a live meter, each logged row
// printed (and flushed) at once. With --save the log is written when the
// run ends, however it ends short of SIGKILL: the input's end, SIGINT,
// SIGTERM or SIGHUP, a lost device, standard output gone; with --checkpoint
// also every so many seconds while it runs, each time whole and in one step.
// Into an SQLite log (.sqlite, .db) each row is added to the file as it is
// logged instead, committed within a second, and no row is kept in memory.
// Without --save no row is kept once printed, so a run of days stays small.
class LogRun {
public:
    LogRun(const LogOptions& options, const LogPlatform& platform, std::FILE* out = stdout);
    ~LogRun();
    LogRun(const LogRun&) = delete;
    LogRun& operator=(const LogRun&) = delete;

    // Opens the input and starts logging; the rows come on the event loop.
    // False when the run cannot start (exitStatus() says why; nothing is
    // saved then, so an earlier file of the same name stays as it was).
    bool start();
    // Ends the run as a signal would: saves, and finished() is called; the
    // run's status is `status` unless the save fails.
    void stop(int status = 0);
    bool isFinished() const { return finished_; }
    int exitStatus() const { return status_; }
    // Called once when the run has ended and its log is saved.
    std::function<void(int status)> finished;

    // Messages for the user (default: standard error).
    std::function<void(const QString&)> say;
    // Each logged row after it is printed, with the reading it came from
    // and the moment (for whatever else takes the rows, such as a publisher).
    using RowListener = std::function<void(const LogRecord&, const Reading&, const QDateTime&)>;
    RowListener onRow;
    // Adds a listener after those onRow already calls.
    void alsoOnRow(RowListener listener);

    // The device went away (the run waits for it with --reconnect, else it
    // ends) or came back.
    enum class DeviceState { Lost, AwaitingReturn, Back };
    std::function<void(DeviceState)> onDevice;

    // Saves the log to OUT now. False (with the reason said once per run
    // of failures) when it cannot.
    bool checkpoint();

    MeterSession& session() { return *session_; }
    const RowDates& rowDates() const { return dates_; }
    // The statistics of every row logged in this run, read from the table
    // as each row is logged (also the rows not kept without --save).
    const LogStatistics& statistics() const { return statistics_; }

private:
    void feed(const std::uint8_t* data, std::size_t size);
    void flushOutput();
    void outputFailed();
    void rowLogged(const Reading& reading, const QDateTime& moment);
    void deviceLost(const QString& reason);
    bool openSqlite(const QString& limitHi, const QString& limitLo);
    void watchSqlite();
    void deviceBack();
    void end(int status);
    void tell(const QString& message);

    LogOptions options_;
    LogPlatform platform_;
    std::FILE* out_;
    std::unique_ptr<ManualTimer> timer1_, timer4_, timer3_;
    std::unique_ptr<MeterSession> session_;
    std::unique_ptr<MeterPipeline> pipeline_;
    std::unique_ptr<LogSource> source_;
    RowDates dates_;
    LogStatistics statistics_;
    qsizetype clearedRows_ = 0; // rows let go of without --save
    QTimer checkpointTimer_;
    QTimer flushTimer_;
    bool unflushed_ = false; // rows printed but not flushed
    // The SQLite log, written row by row: the rows printed and not yet
    // flushed, handed to it once they are; and the look at how it goes.
    std::unique_ptr<LogSqliteWriter> sqlite_;
    std::vector<LoggedReading> toFile_;
    std::size_t toFileBatch_ = 1;
    QTimer sqliteWatch_;
    QElapsedTimer awayFor_;
    std::string line_;
    bool keepRows_ = false;
    bool changed_ = false; // rows logged since the last save
    bool limitTold_ = false;
    bool saveFailing_ = false;
    bool finished_ = false;
    bool ending_ = false;
    int status_ = 0;
};

} // namespace velkor::cli
