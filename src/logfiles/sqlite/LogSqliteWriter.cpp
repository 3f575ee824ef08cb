#include "logfiles/sqlite/LogSqliteWriter.h"

#include "logfiles/sqlite/LogSqliteRow.h"
#include "logfiles/sqlite/LogSqliteSchema.h"
#include "logfiles/sqlite/SqliteDatabase.h"
#include "record/LogRowBuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

using sqlite::Database;
using sqlite::ReadingInserter;
using sqlite::ReadingRow;
using sqlite::Statement;

struct LogSqliteWriter::Derived {
    explicit Derived(Database& db) : inserter(db) {}
    ReadingInserter inserter;
    std::string time, function, value, judge, unitCode;
};

namespace {

QString systemReason(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
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

void LoggedReading::setMoment(const QDateTime& moment) {
    if (!moment.isValid()) {
        utcMs.reset();
        return;
    }
    utcMs = moment.toMSecsSinceEpoch();
    utcOffset = moment.offsetFromUtc();
}

void LoggedReading::setFrameHex(const std::string& hex) {
    frame = QByteArray::fromHex(
        QByteArray::fromRawData(hex.data(), static_cast<qsizetype>(hex.size() & ~1u)));
}

LogSqliteWriter::LogSqliteWriter(QString fileName) : fileName_(std::move(fileName)) {}

LogSqliteWriter::~LogSqliteWriter() {
    if (db_) {
        finish();
    }
    releaseFile();
}

void LogSqliteWriter::releaseFile() {
    // SQLite's own locks on the file go with its last descriptor of the
    // file in this process: the lock's descriptor closes after the
    // database.
    derived_.reset();
    insertReading_.reset();
    db_.reset();
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
}

LogFileResult LogSqliteWriter::open(const LogRunInfo& run) {
    releaseFile();
    info_ = run;
    if (!info_.started.isValid()) {
        info_.started = QDateTime::currentDateTime();
    }
    runId_ = 0;
    lockedByAnother_ = false;
    const QByteArray path = QFile::encodeName(fileName_);
    constexpr int kFlags = O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    bool created = true;
    lockFd_ = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0666);
    if (lockFd_ < 0 && errno == EEXIST) {
        created = false;
        lockFd_ = ::open(path.constData(), kFlags);
    }
    if (lockFd_ < 0) {
        return LogFileResult::failure(systemReason(errno));
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
        return refuse(QStringLiteral("通常のファイルではありません"));
    }
    // The writer's lock: a lock of its own kind (flock), apart from the
    // byte-range locks SQLite takes, so readers never meet it.
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        lockedByAnother_ = errno == EWOULDBLOCK;
        return refuse(lockedByAnother_ ? QStringLiteral("別の記録プログラムが書き込み中です")
                                       : systemReason(errno));
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
    if (!db_->exec("PRAGMA synchronous=FULL")) {
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
    derived_ = std::make_unique<Derived>(*db_);
    if (!derived_->inserter.ok()) {
        return refuse(db_->failureText());
    }
    return LogFileResult::success();
}

void LogSqliteWriter::append(LoggedReading reading) {
    if (waiting_.empty()) {
        waitingSince_.start();
    }
    waiting_.push_back(std::move(reading));
}

bool LogSqliteWriter::commitDue() const {
    return msUntilCommitDue() == 0;
}

qint64 LogSqliteWriter::msUntilCommitDue() const {
    if (waiting_.empty()) {
        return -1;
    }
    if (failedAt_.isValid()) {
        return std::max<qint64>(0, kCommitIntervalMs - failedAt_.elapsed());
    }
    if (waiting() >= kCommitRows) {
        return 0;
    }
    return std::max<qint64>(0, kCommitIntervalMs - waitingSince_.elapsed());
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
    if (!s.run()) {
        return false;
    }
    runId_ = sqlite3_last_insert_rowid(db_->handle());
    return true;
}

bool LogSqliteWriter::insert(const LoggedReading& r) {
    Derived& d = *derived_;
    ReadingRow row;
    row.no = r.row.No;
    row.utcMs = r.utcMs;
    row.utcOffset = r.utcOffset;
    row.time = sqlite::utf8Of(r.row.Time, d.time);
    row.function = sqlite::utf8Of(r.row.DCAC, d.function);
    row.value = sqlite::utf8Of(r.row.Value, d.value);
    row.judge = sqlite::utf8Of(r.row.Auto, d.judge);
    row.unitCode = sqlite::utf8Of(r.row.Unit, d.unitCode);
    row.marks = r.marks;
    row.frame = r.frame;
    row.nval = r.row.NVal;
    return d.inserter.insert(runId_, row);
}

LogFileResult LogSqliteWriter::commit() {
    if (!db_) {
        return LogFileResult::failure(QStringLiteral("ファイルが開いていません"));
    }
    if (waiting_.empty()) {
        return LogFileResult::success();
    }
    const qint64 runBefore = runId_;
    bool ok = db_->exec("BEGIN IMMEDIATE") && (runId_ != 0 || insertRun());
    for (std::size_t i = 0; ok && i < waiting_.size(); ++i) {
        ok = insert(waiting_[i]);
    }
    ok = ok && db_->exec("COMMIT");
    if (!ok) {
        const QString why = db_->failureText();
        db_->exec("ROLLBACK");
        runId_ = runBefore;
        failedAt_.start();
        return LogFileResult::failure(why);
    }
    waiting_.clear();
    failedAt_.invalidate();
    return LogFileResult::success();
}

LogFileResult LogSqliteWriter::finish() {
    if (!db_) {
        return LogFileResult::success();
    }
    failedAt_.invalidate();
    LogFileResult r = commit();
    if (r && runId_ != 0) {
        Statement s(*db_, "UPDATE runs SET ended_ms = ?1 WHERE run = ?2");
        bool ok = s.ok();
        if (ok) {
            sqlite3_bind_int64(s.get(), 1, QDateTime::currentMSecsSinceEpoch());
            sqlite3_bind_int64(s.get(), 2, runId_);
            ok = s.run();
        }
        if (!ok) {
            r = LogFileResult::failure(db_->failureText());
        }
    }
    releaseFile();
    return r;
}

LogFileResult LogSqliteWriter::saveAll(const LogRowBuffer& rows, const QString& fileName,
                                       const LogRunInfo& run) {
    LogSqliteWriter w(fileName);
    if (LogFileResult r = w.open(run); !r) {
        return r;
    }
    Database& db = *w.db_;
    ReadingInserter& inserter = w.derived_->inserter;
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
        ok = inserter.insert(w.runId_, row);
    }
    if (ok) {
        Statement end(db, "UPDATE runs SET ended_ms = started_ms WHERE run = ?1");
        ok = end.ok();
        if (ok) {
            sqlite3_bind_int64(end.get(), 1, w.runId_);
            ok = end.run();
        }
    }
    ok = ok && db.exec("COMMIT");
    if (!ok) {
        const QString why = db.failureText();
        db.exec("ROLLBACK");
        w.runId_ = 0;
        w.releaseFile();
        return LogFileResult::failure(why);
    }
    w.runId_ = 0; // ended already
    w.releaseFile();
    return LogFileResult::success();
}

} // namespace velkor
