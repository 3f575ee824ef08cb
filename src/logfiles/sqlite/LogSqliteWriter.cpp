#include "logfiles/sqlite/LogSqliteWriter.h"

#include "logfiles/sqlite/LogSqliteRow.h"
#include "logfiles/sqlite/LogSqliteSchema.h"
#include "logfiles/sqlite/SqliteDatabase.h"
#include "platform/posix/SystemErrorText.h"
#include "record/LogRowBuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <cerrno>
#include <fcntl.h>
#include <pthread.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

using sqlite::Database;
using sqlite::ReadingInserter;
using sqlite::ReadingRow;
using sqlite::Statement;

// The statements the writer runs every second, prepared once: the
// transaction's begin and commit and the insert of its rows.
class LogSqliteWriter::Inserter {
public:
    explicit Inserter(Database& db)
        : begin_(db, "BEGIN IMMEDIATE"), commit_(db, "COMMIT"), inserter_(db) {}
    bool ok() const { return begin_.ok() && commit_.ok() && inserter_.ok(); }
    bool begin() { return begin_.run(); }
    bool commit() { return commit_.run(); }

    bool insert(qint64 run, const LoggedReading& r) {
        ReadingRow row;
        row.no = r.no;
        row.utcMs = r.utcMs;
        row.utcOffset = r.utcOffset;
        row.time = r.time;
        row.function = r.function;
        row.value = r.value;
        row.judge = r.judge;
        row.unitCode = r.unit;
        row.marks = r.marks;
        row.frame = QByteArrayView(r.frame.data(), r.frameSize);
        row.nval = r.nval;
        return inserter_.insert(run, row);
    }
    ReadingInserter& rows() { return inserter_; }

private:
    Statement begin_, commit_;
    ReadingInserter inserter_;
};

namespace {

// The files writers of this process hold. A descriptor of such a file must
// not be opened and closed beside SQLite's: closing any descriptor of a
// file drops every lock the process holds on it, SQLite's included, and
// another process could then take the log from under its writer.
std::mutex heldMutex;
std::set<std::pair<dev_t, ino_t>>& heldFiles() {
    static std::set<std::pair<dev_t, ino_t>> held;
    return held;
}

bool heldHere(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        return false;
    }
    std::lock_guard lock(heldMutex);
    return heldFiles().count({st.st_dev, st.st_ino}) > 0;
}

void syncDirectoryOf(const QString& fileName) {
    const QByteArray dir = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void bindOptionalText(sqlite3_stmt* s, int column, const std::optional<QString>& text) {
    if (text) {
        const QByteArray utf8 = text->toUtf8();
        sqlite3_bind_text(s, column, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_null(s, column);
    }
}

template <class T> void bindOptionalNumber(sqlite3_stmt* s, int column, const std::optional<T>& v) {
    if (v) {
        sqlite3_bind_int64(s, column, static_cast<sqlite3_int64>(*v));
    } else {
        sqlite3_bind_null(s, column);
    }
}

} // namespace

bool isSqliteName(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    return name.endsWith(QLatin1String(".sqlite"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
}

void LoggedReading::setRow(const LogRecord& row) {
    no = row.No;
    nval = row.NVal;
    sqlite::utf8Of(row.Time, time);
    sqlite::utf8Of(row.DCAC, function);
    sqlite::utf8Of(row.Value, value);
    sqlite::utf8Of(row.Unit, unit);
    sqlite::utf8Of(row.Auto, judge);
}

void LoggedReading::setMoment(const QDateTime& moment) {
    if (!moment.isValid()) {
        utcMs.reset();
        return;
    }
    utcMs = moment.toMSecsSinceEpoch();
    utcOffset = moment.offsetFromUtc();
}

void LoggedReading::setFrameHex(const std::string& hex) {
    const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    frameSize = static_cast<quint8>(std::min(hex.size() / 2, frame.size()));
    for (std::size_t i = 0; i < frameSize; ++i) {
        frame[i] = static_cast<char>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
    }
}

bool LogSqliteWriter::heldInThisProcess(const QString& fileName) {
    return heldHere(QFile::encodeName(fileName));
}

LogSqliteWriter::LogSqliteWriter(QString fileName) : fileName_(std::move(fileName)) {}

LogSqliteWriter::~LogSqliteWriter() {
    finish();
}

void LogSqliteWriter::releaseFile() {
    // SQLite's own locks on the file go with its last descriptor of the
    // file in this process: the lock's descriptor closes after the
    // database.
    inserter_.reset();
    db_.reset();
    if (lockFd_ >= 0) {
        if (held_) {
            std::lock_guard lock(heldMutex);
            heldFiles().erase(*held_);
            held_.reset();
        }
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

LogFileResult LogSqliteWriter::open(const LogRunInfo& run) {
    finish();
    info_ = run;
    if (!info_.started.isValid()) {
        info_.started = QDateTime::currentDateTime();
    }
    lockedByAnother_ = false;
    const QByteArray path = QFile::encodeName(fileName_);
    if (heldHere(path)) {
        lockedByAnother_ = true;
        return LogFileResult::failure(QStringLiteral("別の記録プログラムが書き込み中です"));
    }
    constexpr int kFlags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    bool created = true;
    lockFd_ = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0666);
    if (lockFd_ < 0 && errno == EEXIST) {
        created = false;
        lockFd_ = ::open(path.constData(), kFlags);
    }
    if (lockFd_ < 0) {
        return LogFileResult::failure(systemErrorText(errno));
    }
    const auto refuse = [&](const QString& why) {
        releaseFile();
        if (created) {
            ::unlink(path.constData());
        }
        return LogFileResult::failure(why);
    };
    struct stat st {};
    if (::fstat(lockFd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return refuse(notRegularFileText());
    }
    // The writer's lock: a lock of its own kind (flock), apart from the
    // byte-range locks SQLite takes, so readers never meet it.
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        lockedByAnother_ = errno == EWOULDBLOCK;
        return refuse(lockedByAnother_ ? QStringLiteral("別の記録プログラムが書き込み中です")
                                       : systemErrorText(errno));
    }
    {
        std::lock_guard lock(heldMutex);
        heldFiles().insert({st.st_dev, st.st_ino});
        held_ = {st.st_dev, st.st_ino};
    }
    db_ = std::make_unique<Database>();
    if (!db_->open(fileName_, sqlite::OpenMode::Write)) {
        return refuse(db_->failureText());
    }
    sqlite3_busy_timeout(db_->handle(), 10000);
    QString reason;
    const sqlite::LogFileKind kind = sqlite::checkLogSchema(*db_, &reason);
    if (kind == sqlite::LogFileKind::Foreign) {
        return refuse(reason);
    }
    // A new file gets small pages: each commit (once a second) writes the
    // table's last page again, whole, however few rows it added, so the
    // page's size is what a commit costs beyond the rows' own bytes.
    if (kind == sqlite::LogFileKind::Empty && !db_->exec("PRAGMA page_size=1024")) {
        return refuse(db_->failureText());
    }
    // Write-ahead log: readers never wait for the writer nor the writer for
    // them, and a commit appends to the log instead of rewriting pages in
    // place. synchronous=FULL syncs the log at every commit, so what was
    // committed survives a power cut.
    {
        Statement mode(*db_, "PRAGMA journal_mode=WAL");
        if (!mode.ok() || mode.step() != SQLITE_ROW ||
            qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0)), "wal") !=
                0) {
            return refuse(db_->failureText());
        }
    }
    // Rows only ever go at the end of the table: a small page cache holds
    // the pages an insert touches, and the memory stays flat as the file
    // grows.
    if (!db_->exec("PRAGMA synchronous=FULL; PRAGMA cache_size=-512")) {
        return refuse(db_->failureText());
    }
    if (kind == sqlite::LogFileKind::Empty) {
        if (const LogFileResult r = sqlite::createLogSchema(*db_); !r) {
            return refuse(r.reason);
        }
        if (created) {
            syncDirectoryOf(fileName_);
        }
    }
    inserter_ = std::make_unique<Inserter>(*db_);
    if (!inserter_->ok()) {
        return refuse(db_->failureText());
    }
    std::lock_guard lock(m_);
    runId_ = 0;
    handedOver_ = committed_ = 0;
    incoming_.clear();
    incomingRows_ = 0;
    commitAsked_ = false;
    stop_ = false;
    health_ = {};
    thread_ = std::thread([this] { work(); });
    return LogFileResult::success();
}

void LogSqliteWriter::append(LoggedReading reading) {
    std::vector<LoggedReading> one;
    one.push_back(std::move(reading));
    append(std::move(one));
}

void LogSqliteWriter::append(std::vector<LoggedReading>&& readings) {
    if (readings.empty()) {
        return;
    }
    std::unique_lock lock(m_);
    if (!thread_.joinable()) {
        return;
    }
    // A writer that keeps up is waited for when it falls behind a fast
    // input; one that cannot write is not: its rows wait, bounded.
    written_.wait(lock, [this] { return incomingRows_ < kHeldRows || health_.failing || stop_; });
    const bool first = incomingRows_ == 0;
    if (first) {
        firstIncoming_ = Clock::now();
    }
    handedOver_ += readings.size();
    incomingRows_ += static_cast<qsizetype>(readings.size());
    incoming_.push_back(std::move(readings));
    if (first || incomingRows_ >= kCommitRows) {
        wake_.notify_one();
    }
}

LogSqliteWriter::Health LogSqliteWriter::health() const {
    std::lock_guard lock(m_);
    return health_;
}

qint64 LogSqliteWriter::run() const {
    std::lock_guard lock(m_);
    return runId_;
}

LogFileResult LogSqliteWriter::commitNow() {
    std::unique_lock lock(m_);
    if (!thread_.joinable()) {
        return LogFileResult::failure(QStringLiteral("ファイルが開いていません"));
    }
    const quint64 target = handedOver_;
    commitAsked_ = true;
    wake_.notify_one();
    written_.wait(lock, [&] { return committed_ >= target || (!commitAsked_ && health_.failing); });
    if (committed_ >= target) {
        return LogFileResult::success();
    }
    return LogFileResult::failure(health_.reason);
}

// The writer's thread: takes the rows handed over and commits them when the
// oldest has waited its second, when many wait, when asked, and at the end.
void LogSqliteWriter::work() {
    pthread_setname_np(pthread_self(), "velkor-sqlite");
    const auto interval = std::chrono::milliseconds(kCommitIntervalMs);
    Batches waiting; // taken, not yet in the file
    qsizetype waitingRows = 0;
    Clock::time_point waitingSince{};
    Clock::time_point retryAt{};
    bool failing = false;
    std::unique_lock lock(m_);
    for (;;) {
        const auto dueAt = [&] {
            if (failing) {
                return retryAt;
            }
            if (waitingRows > 0) {
                return waitingSince + interval;
            }
            return incomingRows_ == 0 ? Clock::time_point::max() : firstIncoming_ + interval;
        };
        const auto urgent = [&] {
            return stop_ || commitAsked_ ||
                   (!failing && waitingRows + incomingRows_ >= kCommitRows);
        };
        while (!urgent() && Clock::now() < dueAt()) {
            const Clock::time_point due = dueAt();
            if (due == Clock::time_point::max()) {
                wake_.wait(lock);
            } else {
                wake_.wait_until(lock, due);
            }
        }
        if (incomingRows_ > 0) {
            if (waitingRows == 0) {
                waitingSince = firstIncoming_;
            }
            for (std::vector<LoggedReading>& batch : incoming_) {
                waiting.push_back(std::move(batch));
            }
            waitingRows += incomingRows_;
            incoming_.clear();
            incomingRows_ = 0;
            written_.notify_all(); // room for rows
        }
        const bool stopping = stop_;
        commitAsked_ = false;
        bool ok = true;
        if (waitingRows > 0) {
            lock.unlock();
            QString why;
            ok = commit(waiting, &why);
            if (ok) {
                waiting.clear(); // the rows go, outside the lock
            }
            lock.lock();
            if (ok) {
                committed_ += static_cast<quint64>(waitingRows);
                waitingRows = 0;
            } else {
                health_.reason = why;
                retryAt = Clock::now() + interval;
            }
            failing = !ok;
            health_.failing = failing;
        }
        health_.waiting = waitingRows + incomingRows_;
        health_.overflowing = health_.waiting > kMaxWaitingRows;
        written_.notify_all();
        if (stopping && incomingRows_ == 0) {
            if (ok && runId_ != 0) {
                lock.unlock();
                ok = endRun();
                const QString why = ok ? QString() : db_->failureText();
                lock.lock();
                if (!ok) {
                    health_.failing = true;
                    health_.reason = why;
                }
            }
            return;
        }
    }
}

bool LogSqliteWriter::commit(const Batches& batches, QString* why) {
    qint64 run = 0;
    {
        std::lock_guard lock(m_);
        run = runId_;
    }
    const qint64 runBefore = run;
    bool ok = inserter_->begin();
    if (ok && run == 0) {
        ok = insertRun();
        run = sqlite3_last_insert_rowid(db_->handle());
    }
    for (const std::vector<LoggedReading>& batch : batches) {
        for (std::size_t i = 0; ok && i < batch.size(); ++i) {
            ok = inserter_->insert(run, batch[i]);
        }
    }
    ok = ok && inserter_->commit();
    if (!ok) {
        *why = db_->failureText(); // before the rollback's own result
        db_->exec("ROLLBACK");
        run = runBefore;
    }
    std::lock_guard lock(m_);
    runId_ = run;
    return ok;
}

bool LogSqliteWriter::insertRun() {
    Statement s(*db_, "INSERT INTO runs (program, variant, device, started_ms, started_offset, "
                      "limit_hi, limit_lo, sampling_s, repeats, max_records) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    if (!s.ok()) {
        return false;
    }
    sqlite3_stmt* st = s.get();
    bindOptionalText(st, 1, info_.program);
    bindOptionalText(st, 2, info_.variant);
    bindOptionalText(st, 3, info_.device);
    sqlite3_bind_int64(st, 4, info_.started.toMSecsSinceEpoch());
    sqlite3_bind_int64(st, 5, info_.started.offsetFromUtc());
    bindOptionalText(st, 6, info_.limitHi);
    bindOptionalText(st, 7, info_.limitLo);
    bindOptionalNumber(st, 8, info_.samplingSeconds);
    bindOptionalNumber(st, 9, info_.repeats);
    bindOptionalNumber(st, 10, info_.maxRecords);
    return s.run();
}

bool LogSqliteWriter::endRun() {
    Statement s(*db_, "UPDATE runs SET ended_ms = ?1 WHERE run = ?2");
    if (!s.ok()) {
        return false;
    }
    sqlite3_bind_int64(s.get(), 1, QDateTime::currentMSecsSinceEpoch());
    sqlite3_bind_int64(s.get(), 2, run());
    return s.run();
}

LogFileResult LogSqliteWriter::finish() {
    {
        std::lock_guard lock(m_);
        stop_ = true;
        wake_.notify_one();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    releaseFile();
    std::lock_guard lock(m_);
    return health_.failing ? LogFileResult::failure(health_.reason) : LogFileResult::success();
}

LogFileResult LogSqliteWriter::saveAll(const LogRowBuffer& rows, const QString& fileName,
                                       const LogRunInfo& run) {
    LogSqliteWriter w(fileName);
    if (LogFileResult r = w.open(run); !r) {
        return r;
    }
    // The rows go in on this thread, in one transaction: the writer's
    // thread is stopped first, with nothing to do.
    {
        std::lock_guard lock(w.m_);
        w.stop_ = true;
        w.wake_.notify_one();
    }
    w.thread_.join();
    Database& db = *w.db_;
    ReadingInserter& inserter = w.inserter_->rows();
    // Each text as UTF-8: plain ASCII as it is held, the others converted.
    std::string scratch[5];
    const auto textOf = [&](qsizetype row, int field) {
        const LogRowBuffer::HeldText t = rows.heldText(rows.textNumber(row, field));
        bool ascii = !t.wide;
        for (qsizetype i = 0; ascii && i < t.size; ++i) {
            ascii = t.chars[i] < 0x80;
        }
        if (ascii) {
            return QByteArrayView(reinterpret_cast<const char*>(t.chars), t.size);
        }
        return sqlite::utf8Of(rows.text(row, field), scratch[field - 1]);
    };
    bool ok = db.exec("BEGIN IMMEDIATE") && w.insertRun();
    const qint64 runId = sqlite3_last_insert_rowid(db.handle());
    const qsizetype n = rows.rowCount();
    for (qsizetype i = 0; ok && i < n; ++i) {
        ReadingRow row;
        row.no = rows.no(i);
        row.time = textOf(i, 1);
        row.function = textOf(i, 2);
        row.value = textOf(i, 3);
        row.unitCode = textOf(i, 4);
        row.judge = textOf(i, 5);
        row.nval = rows.nval(i);
        ok = inserter.insert(runId, row);
    }
    if (ok) {
        Statement end(db, "UPDATE runs SET ended_ms = started_ms WHERE run = ?1");
        ok = end.ok();
        if (ok) {
            sqlite3_bind_int64(end.get(), 1, runId);
            ok = end.run();
        }
    }
    ok = ok && db.exec("COMMIT");
    const QString why = ok ? QString() : db.failureText();
    if (!ok) {
        db.exec("ROLLBACK");
    }
    w.releaseFile();
    return ok ? LogFileResult::success() : LogFileResult::failure(why);
}

} // namespace velkor
