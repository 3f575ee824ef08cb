#include "logfiles/sqlite/LogSqliteJournal.h"

#include "logfiles/sqlite/LogSqliteFile.h"
#include "logfiles/sqlite/LogSqliteSchema.h"
#include "logfiles/sqlite/SqliteDatabase.h"
#include "platform/posix/SystemErrorText.h"
#include "record/LogJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

namespace {

constexpr const char* kNamePrefix = "journal-";
constexpr const char* kNameSuffix = ".sqlite";
// What SQLite keeps beside a database file.
constexpr const char* kSideFiles[] = {"-wal", "-shm", "-journal"};

QString damagedName(const QString& path) {
    QString name = path + QStringLiteral(".damaged");
    for (int i = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++i) {
        name = path + QStringLiteral(".damaged-%1").arg(i);
    }
    return name;
}

void removeWithSideFiles(const QString& path) {
    ::unlink(QFile::encodeName(path).constData());
    for (const char* side : kSideFiles) {
        ::unlink(QFile::encodeName(path + QLatin1String(side)).constData());
    }
}

// A journal left in write-ahead-log mode with its log beside it (the
// window was killed) becomes one file again: the log's rows go into the
// database and the log goes, so the file can be renamed or kept aside
// alone.
LogFileResult settle(const QString& path) {
    if (!QFileInfo::exists(path + QLatin1String("-wal"))) {
        return LogFileResult::success();
    }
    sqlite::Database db;
    if (!db.open(path, sqlite::OpenMode::Write)) {
        return LogFileResult::failure(db.failureText());
    }
    QString reason;
    if (sqlite::checkLogSchema(db, &reason) != sqlite::LogFileKind::Log) {
        return LogFileResult::failure(reason.isEmpty() ? QStringLiteral("記録がありません")
                                                       : reason);
    }
    if (!db.exec("PRAGMA journal_mode=DELETE")) {
        return LogFileResult::failure(db.failureText());
    }
    return LogFileResult::success();
}

// An SQLite journal, read and checked.
JournalLeftover readSqlite(const QString& path) {
    JournalLeftover l;
    l.path = path;
    auto damaged = [&](const QString& why) -> JournalLeftover {
        l.damaged = true;
        l.reason = why;
        l.rows.clear();
        l.dates.clear();
        l.moments.clear();
        return std::move(l);
    };
    if (LogSqliteWriter::heldInThisProcess(path)) {
        l.inUse = true;
        return l;
    }
    // The window that writes a journal holds the lock on it (its writer's).
    QString why;
    switch (l.file.take(path, &why)) {
    case JournalFile::Taken::Held: break;
    case JournalFile::Taken::InUse: l.inUse = true; return l;
    case JournalFile::Taken::Failed: return damaged(why);
    }
    if (l.file.size() == 0) {
        return l; // made, killed before its first row was in
    }
    if (const LogFileResult r = settle(path); !r) {
        return damaged(r.reason);
    }
    if (const LogFileResult r = readLogSqlite(path, l.rows, {std::nullopt, &l.dates, &l.moments});
        !r) {
        return damaged(r.reason);
    }
    return l;
}

// A journal of the line format, as the window takes it.
JournalLeftover fromLines(LogJournal::Leftover&& old) {
    JournalLeftover l;
    l.path = std::move(old.path);
    l.inUse = old.inUse;
    l.damaged = old.damaged;
    l.reason = std::move(old.reason);
    l.rows = std::move(old.rows);
    l.dates = std::move(old.dates);
    l.moments.reserve(old.moments.size());
    for (const RowMoment& m : old.moments) {
        l.moments.emplace_back(m);
    }
    l.file = std::move(old.file);
    return l;
}

} // namespace

LogSqliteJournal::LogSqliteJournal(QString directory, LogRunInfo run)
    : directory_(std::move(directory)), run_(std::move(run)) {}

LogSqliteJournal::~LogSqliteJournal() {
    if (writer_) {
        writer_->finish(); // what was handed over goes in; the file stays
    }
}

bool LogSqliteJournal::open() {
    if (ready_) {
        return true;
    }
    if (!QDir(directory_).exists()) {
        if (!QDir().mkpath(directory_)) {
            // The last step again, for the system's reason.
            const int e = ::mkdir(QFile::encodeName(directory_).constData(), 0700) != 0 ? errno : 0;
            error_ = QStringLiteral("%1: フォルダを作れません").arg(directory_);
            if (e != 0 && e != EEXIST) {
                error_ += QStringLiteral(" (%1)").arg(systemErrorText(e));
            }
            return false;
        }
        QFile::setPermissions(directory_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ready_ = true;
    failed_ = false;
    return true;
}

bool LogSqliteJournal::ensureFile() {
    if (writer_) {
        return true;
    }
    if (!isOpen()) {
        return false;
    }
    const QDir dir(directory_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = dir.filePath(QStringLiteral("%1%2-%3-%4%5")
                                              .arg(QLatin1String(kNamePrefix))
                                              .arg(QCoreApplication::applicationPid())
                                              .arg(QDateTime::currentMSecsSinceEpoch())
                                              .arg(attempt)
                                              .arg(QLatin1String(kNameSuffix)));
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
            continue;
        }
        auto writer = std::make_unique<LogSqliteWriter>(path);
        LogRunInfo run = run_;
        run.started = QDateTime::currentDateTime();
        if (const LogFileResult r = writer->open(run); !r) {
            path_ = path;
            fail(r.reason);
            path_.clear();
            return false;
        }
        path_ = path;
        writer_ = std::move(writer);
        rows_ = 0;
        return true;
    }
    fail(QStringLiteral("ファイル名を決められません"));
    return false;
}

void LogSqliteJournal::fail(const QString& reason) {
    if (failed_) {
        return;
    }
    failed_ = true;
    error_ = path_.isEmpty() ? reason : QStringLiteral("%1: %2").arg(path_, reason);
    if (onFailure) {
        onFailure(error_);
    }
}

void LogSqliteJournal::hand(LoggedReading reading) {
    writer_->append(std::move(reading));
    ++rows_;
    if (const LogSqliteWriter::Health h = writer_->health(); h.failing) {
        fail(h.reason);
    }
}

void LogSqliteJournal::append(const LogRecord& row, const QDateTime& when) {
    if (failed_ || !ensureFile() || rows_ >= kMaxRows) {
        return;
    }
    LoggedReading r;
    r.setRow(row);
    r.setMoment(when);
    hand(std::move(r));
}

void LogSqliteJournal::carryOver(const JournalLeftover& leftover) {
    const qsizetype n = leftover.rows.rowCount();
    for (qsizetype i = 0; i < n && !failed_ && rows_ < kMaxRows && ensureFile(); ++i) {
        LoggedReading r;
        r.setRow(leftover.rows.row(i));
        if (std::size_t(i) < leftover.moments.size() && leftover.moments[std::size_t(i)]) {
            r.utcMs = leftover.moments[std::size_t(i)]->utcMs;
            r.utcOffset = leftover.moments[std::size_t(i)]->utcOffset;
        }
        hand(std::move(r));
    }
}

void LogSqliteJournal::dropFile() {
    if (!writer_) {
        return;
    }
    writer_->finish();
    writer_.reset();
    removeWithSideFiles(path_);
    path_.clear();
    rows_ = 0;
}

void LogSqliteJournal::clear() {
    dropFile();
}

void LogSqliteJournal::finish() {
    dropFile();
    ready_ = false;
}

const QStringList& LogSqliteJournal::nameSuffixes() {
    static const QStringList suffixes = {QLatin1String(kNameSuffix), LogJournal::nameSuffix()};
    return suffixes;
}

std::vector<JournalLeftover> LogSqliteJournal::leftovers() const {
    const QDir dir(directory_);
    QStringList patterns;
    for (const QString& suffix : nameSuffixes()) {
        patterns << QLatin1String(kNamePrefix) + QLatin1Char('*') + suffix;
    }
    const QStringList names = dir.entryList(patterns, QDir::Files | QDir::System | QDir::Hidden,
                                            QDir::Time | QDir::Reversed);
    std::vector<JournalLeftover> found;
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (path == path_) {
            continue;
        }
        JournalLeftover l = read(path);
        if (!l.inUse) {
            found.push_back(std::move(l));
        }
    }
    return found;
}

JournalLeftover LogSqliteJournal::read(const QString& path) {
    if (path.endsWith(LogJournal::nameSuffix())) {
        return fromLines(LogJournal::read(path));
    }
    return readSqlite(path);
}

QString LogSqliteJournal::setAside(JournalLeftover& leftover) {
    const QString aside = damagedName(leftover.path);
    const bool moved = ::rename(QFile::encodeName(leftover.path).constData(),
                                QFile::encodeName(aside).constData()) == 0;
    if (moved) {
        // The write-ahead log goes with it, under the name SQLite looks for.
        for (const char* side : kSideFiles) {
            ::rename(QFile::encodeName(leftover.path + QLatin1String(side)).constData(),
                     QFile::encodeName(aside + QLatin1String(side)).constData());
        }
    }
    leftover.file.close();
    return moved ? aside : leftover.path;
}

void LogSqliteJournal::discard(JournalLeftover& leftover) {
    removeWithSideFiles(leftover.path);
    leftover.file.close();
}

} // namespace velkor
