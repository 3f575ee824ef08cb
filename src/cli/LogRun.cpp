#include "cli/LogRun.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LimitOption.h"
#include "cli/LogFileCommand.h"
#include "cli/LogRowCsv.h"
#include "cli/LogSources.h"
#include "meter/Reading.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "platform/LocaleSource.h"
#include "platform/headless/ManualTimer.h"

#include <QCoreApplication>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace velkor::cli {

namespace {

// Without --save the rows are printed and not kept: the table is emptied
// whenever it holds this many (the record rules count rows, not the table).
constexpr qsizetype kUnkeptRows = 4096;

} // namespace

LogRun::LogRun(const LogOptions& options, const LogPlatform& platform, std::FILE* out)
    : options_(options), platform_(platform), out_(out),
      timer1_(std::make_unique<ManualTimer>(500)), timer4_(std::make_unique<ManualTimer>(500)),
      timer3_(std::make_unique<ManualTimer>(1000)) {
    say = [](const QString& message) { reportError(message); };
    // Rows are flushed at the end of each piece of input: standard output
    // with a buffer that holds a piece's lines writes them in one go (a
    // terminal stays line by line).
    static bool buffered = false;
    if (out_ == stdout && !buffered && !::isatty(STDOUT_FILENO)) {
        static char buffer[1 << 16];
        buffered = std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer) == 0;
    }
    session_ = std::make_unique<MeterSession>(MeterSession::Timers{*timer1_, *timer4_, *timer3_},
                                              platform_.clock, platform_.locale);
    pipeline_ = std::make_unique<MeterPipeline>(options_.variant, platform_.locale, *session_);
    if (options_.save && isSqliteName(*options_.save)) {
        sqlite_ = std::make_unique<LogSqliteWriter>(*options_.save);
    }
    keepRows_ = options_.save.has_value() && !sqlite_;
    checkpointTimer_.setInterval(options_.checkpointSeconds * 1000);
    QObject::connect(&checkpointTimer_, &QTimer::timeout, [this] {
        if (changed_) {
            checkpoint();
        }
    });
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    QObject::connect(&flushTimer_, &QTimer::timeout, [this] { flushOutput(); });
    sqliteWatch_.setInterval(LogSqliteWriter::kCommitIntervalMs);
    QObject::connect(&sqliteWatch_, &QTimer::timeout, [this] { watchSqlite(); });
}

LogRun::~LogRun() {
    // The source goes first: a device reader may still hand over a report.
    source_.reset();
}

void LogRun::alsoOnRow(RowListener listener) {
    onRow = [before = std::move(onRow), listener = std::move(listener)](
                const LogRecord& row, const Reading& reading, const QDateTime& moment) {
        if (before) {
            before(row, reading, moment);
        }
        listener(row, reading, moment);
    };
}

void LogRun::tell(const QString& message) {
    if (say) {
        say(message);
    }
}

bool LogRun::start() {
    MeterSession& s = *session_;
    const StartValues& start = pipeline_->startValues();
    s.bindReading(pipeline_->decoder().reading);
    s.applyLimitStartValues(start);
    s.applyRecordStartValues(start);

    // The limits as the limit edits read them, with the user's decimal
    // separator.
    QString limits[2];
    const std::optional<QString>* given[2] = {&options_.hi, &options_.lo};
    const QString starts[2] = {s.limits.T1HI(), s.limits.T1LO()};
    const QString names[2] = {QStringLiteral("--hi"), QStringLiteral("--lo")};
    for (int i = 0; i < 2; ++i) {
        limits[i] = given[i]->value_or(starts[i]);
        if (const QString error = limitOptionError(names[i], limits[i], start.FsDot);
            !error.isEmpty()) {
            tell(error);
            status_ = kExitUsage;
            return false;
        }
    }
    s.limits.T1HIChange(limits[0]);
    s.limits.T1LOChange(limits[1]);
    s.limits.Timer1Timer();
    s.limits.Timer4Timer();
    s.log.RepeatSet = options_.repeat;
    // An SQLite log keeps no row in memory: no size limit unless one is given.
    s.log.MaxRecords = sqlite_ && !options_.maxRecordsGiven ? INT_MAX : options_.maxRecords;
    if (sqlite_ && !openSqlite(limits[0], limits[1])) {
        return false;
    }

    s.log.onRowLogged = [this](const Reading& reading, const QDateTime& now) {
        rowLogged(reading, now);
    };
    s.log.onLimitReached = [this] {
        if (!limitTold_) {
            limitTold_ = true;
            tell(QStringLiteral("the log is full (%1 rows, --max-records): later readings are "
                                "not logged")
                     .arg(options_.maxRecords));
        }
    };

    const ByteFeed bytes = [this](const std::uint8_t* data, std::size_t size) { feed(data, size); };
    switch (options_.source) {
    case LogOptions::Source::Stream:
        source_ = std::make_unique<StreamSource>(options_.path, bytes);
        break;
    case LogOptions::Source::Device:
        source_ = std::make_unique<SerialSource>(options_.path, options_.variant, platform_.serial,
                                                 platform_.clock, platform_.portNames, bytes);
        break;
    case LogOptions::Source::Hid:
        source_ = std::make_unique<HidSource>(
            options_.path.isEmpty() ? std::nullopt : std::optional(options_.path), options_.variant,
            platform_.hid, *pipeline_);
        break;
    }
    source_->ended = [this](int status, const QString& message) {
        if (!message.isEmpty()) {
            tell(message);
        }
        end(status);
    };
    source_->lost = [this](const QString& reason) { deviceLost(reason); };
    source_->back = [this] { deviceBack(); };

    QString error;
    if (!source_->start(&error)) {
        tell(error);
        status_ = kExitInput;
        return false;
    }
    line_ = logRowCsvHeader();
    std::fputs(line_.c_str(), out_);
    std::fflush(out_);
    if (options_.checkpointSeconds > 0 && !sqlite_) {
        checkpointTimer_.start();
    }
    if (sqlite_) {
        sqliteWatch_.start();
    }
    return true;
}

// Takes the SQLite log for this run before the input is opened: a file
// another logger writes, or one that is not a log, ends the run at once.
bool LogRun::openSqlite(const QString& limitHi, const QString& limitLo) {
    if (options_.checkpointSeconds > 0) {
        tell(QStringLiteral("--checkpoint has no effect on an SQLite log: every row is written "
                            "to %1 as it is logged and committed within a second")
                 .arg(*options_.save));
    }
    LogRunInfo run = cliRunInfo(sourceName(options_));
    run.variant = QString::fromLatin1(variantName(options_.variant));
    run.started = platform_.clock.now();
    run.limitHi = limitHi;
    run.limitLo = limitLo;
    run.repeats = options_.repeat;
    if (options_.maxRecordsGiven) {
        run.maxRecords = options_.maxRecords;
    }
    const LogFileResult r = sqlite_->open(run);
    if (r) {
        return true;
    }
    if (sqlite_->lockedByAnother()) {
        tell(QStringLiteral("cannot write %1: another logger is writing it; give this run another "
                            "--save file")
                 .arg(*options_.save));
    } else {
        tell(QStringLiteral("cannot write %1: %2").arg(*options_.save, r.reason));
    }
    status_ = kExitOutput;
    return false;
}

// Says once when the SQLite log cannot be written (the rows wait in memory)
// and when it can again; ends the run when too many rows wait.
void LogRun::watchSqlite() {
    const LogSqliteWriter::Health h = sqlite_->health();
    if (h.failing && !saveFailing_) {
        tell(QStringLiteral("cannot write %1: %2; the rows wait in memory until it can be "
                            "written")
                 .arg(*options_.save, h.reason));
    } else if (!h.failing && saveFailing_) {
        tell(QStringLiteral("%1 is written again").arg(*options_.save));
    }
    saveFailing_ = h.failing;
    if (h.overflowing && !ending_) {
        tell(QStringLiteral("cannot write %1 for too long: %2 rows could not be written")
                 .arg(*options_.save)
                 .arg(h.waiting));
        end(kExitOutput);
    }
}

// A chunk of the serial stream, a byte at a time, so that a frame that fails
// to decode costs only itself; its rows are flushed together.
void LogRun::feed(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size && !ending_; ++i) {
        try {
            pipeline_->receive(&data[i], 1);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "frame %lld: %s\n", pipeline_->framesOffered(), e.what());
        }
    }
    flushOutput();
}

// The rows printed so far reach standard output before the run waits for
// more input (a chunk of the stream, a report of the cable).
void LogRun::flushOutput() {
    if (!unflushed_) {
        return;
    }
    unflushed_ = false;
    flushTimer_.stop();
    const bool flushed = std::fflush(out_) == 0;
    // The SQLite log takes rows once they are printed: a row in the file
    // has been printed, whenever the logger is killed. (Rows that could
    // not be printed go to the file all the same.)
    if (sqlite_ && !toFile_.empty()) {
        toFileBatch_ = toFile_.size();
        sqlite_->append(std::move(toFile_));
        toFile_.clear();
    }
    if (!flushed) {
        outputFailed();
    }
}

void LogRun::outputFailed() {
    if (!ending_) {
        tell(QStringLiteral("cannot write to standard output: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
        end(kExitOutput);
    }
}

void LogRun::rowLogged(const Reading& reading, const QDateTime& moment) {
    MeasurementTable& table = session_->cds1;
    const qsizetype last = table.rowCount() - 1;
    const LogRecord row = table.row(last);
    // The moment in UTC and its offset, worked out once for every use.
    const qint64 utcMs = moment.toMSecsSinceEpoch();
    const int utcOffset = moment.offsetFromUtc();
    line_.clear();
    appendLogRowCsv(line_, row, reading.ScaledValue, utcMs, utcOffset);
    changed_ = true;
    statistics_.addRows(table.store(), last, last + 1, clearedRows_);
    if (keepRows_) {
        dates_.noteLogged(last, moment.date());
    } else if (table.rowCount() >= kUnkeptRows) {
        clearedRows_ += table.rowCount();
        table.clear();
    }
    // Flushed once the rows of this piece of input are printed.
    if (std::fputs(line_.c_str(), out_) < 0) {
        outputFailed();
    } else if (!unflushed_) {
        unflushed_ = true;
        flushTimer_.start();
    }
    if (sqlite_ && !ending_) {
        if (toFile_.capacity() == 0) {
            toFile_.reserve(toFileBatch_); // as many as the last piece of input gave
        }
        LoggedReading& logged = toFile_.emplace_back();
        logged.setRow(row);
        logged.utcMs = utcMs;
        logged.utcOffset = utcOffset;
        logged.marks = pipeline_->decoder().display.marks;
        logged.setFrameHex(pipeline_->decoder().FrameHex);
    }
    if (onRow && !ending_) {
        onRow(row, reading, moment);
    }
}

void LogRun::deviceLost(const QString& reason) {
    QString what = source_->name();
    if (const QString path = source_->devicePath(); !path.isEmpty() && path != what) {
        what += QStringLiteral(" (%1)").arg(path);
    }
    if (onDevice) {
        onDevice(options_.reconnect ? DeviceState::AwaitingReturn : DeviceState::Lost);
    }
    if (!options_.reconnect) {
        tell(QStringLiteral("%1 was lost: %2").arg(what, reason));
        end(kExitInput);
        return;
    }
    tell(QStringLiteral("%1 was lost: %2; waiting for it to come back").arg(what, reason));
    awayFor_.start();
    source_->awaitReturn();
}

void LogRun::deviceBack() {
    QString what = source_->name();
    if (const QString path = source_->devicePath(); !path.isEmpty() && path != what) {
        what += QStringLiteral(" (%1)").arg(path);
    }
    const double seconds = awayFor_.isValid() ? awayFor_.elapsed() / 1000.0 : 0.0;
    tell(QStringLiteral("%1 is back after %2 s; logging goes on")
             .arg(what, QString::number(seconds, 'f', 1)));
    if (onDevice) {
        onDevice(DeviceState::Back);
    }
}

bool LogRun::checkpoint() {
    if (!options_.save) {
        return true;
    }
    if (sqlite_) {
        flushOutput();
        return static_cast<bool>(sqlite_->commitNow());
    }
    const RowDateFn dateOf = [this](qsizetype row) { return dates_.dateOf(row); };
    const LogFileResult r = writeLogFile(session_->cds1, *options_.save, dateOf);
    if (!r) {
        if (!saveFailing_) {
            tell(QStringLiteral("cannot write %1: %2").arg(*options_.save, r.reason));
        }
        saveFailing_ = true;
        return false;
    }
    if (saveFailing_) {
        tell(QStringLiteral("%1 is written again").arg(*options_.save));
    }
    saveFailing_ = false;
    changed_ = false;
    return true;
}

void LogRun::stop(int status) {
    end(status);
}

// The run's end, however it came: the log is saved once more (a failure of
// that save is the run's status), then the run is over.
void LogRun::end(int status) {
    if (ending_) {
        return;
    }
    ending_ = true;
    checkpointTimer_.stop();
    flushOutput(); // a failure now is no news: the run ends anyway
    status_ = status;
    if (sqlite_) {
        sqliteWatch_.stop();
        // What waits is written, the run's end noted, the file let go.
        if (const LogFileResult r = sqlite_->finish(); !r) {
            tell(QStringLiteral("cannot write %1: %2").arg(*options_.save, r.reason));
            if (status_ == kExitOk) {
                status_ = kExitOutput;
            }
        }
    } else if (options_.save) {
        saveFailing_ = false; // the last word on the file is said in any case
        if (!checkpoint() && status_ == kExitOk) {
            status_ = kExitOutput;
        }
    }
    finished_ = true;
    if (finished) {
        finished(status_);
    }
}

} // namespace velkor::cli
