#include "logfiles/sqlite/LogSqliteFile.h"

#include "logfiles/sqlite/LogSqliteSchema.h"
#include "logfiles/sqlite/SqliteDatabase.h"
#include "platform/posix/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <cerrno>
#include <new>
#include <sys/stat.h>

namespace velkor {

using sqlite::Database;
using sqlite::Statement;

namespace {

// Work a read may cost, in steps of SQLite's machine per byte of the file
// (a row takes a few dozen steps and some tens of bytes), and at least.
constexpr qint64 kStepsPerByte = 64;
constexpr qint64 kLeastSteps = 10'000'000;

QString damaged(const Database& db) {
    if (db.budgetSpent()) {
        return QStringLiteral("読み取りに手間がかかりすぎます (壊れているか、記録ではありません)");
    }
    return QStringLiteral("壊れています (%1)").arg(db.failureText());
}

// Opens a file to read and checks it is a log. A file that is no regular
// file (a pipe nobody writes would keep the open waiting) is refused
// without opening it.
LogFileResult openLog(Database& db, const QString& fileName) {
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) {
        return LogFileResult::failure(systemErrorText(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return LogFileResult::failure(notRegularFileText());
    }
    if (!db.open(fileName, sqlite::OpenMode::Read)) {
        return LogFileResult::failure(db.failureText());
    }
    QString reason;
    switch (sqlite::checkLogSchema(db, &reason)) {
    case sqlite::LogFileKind::Log: break;
    case sqlite::LogFileKind::Empty:
        return LogFileResult::failure(
            QStringLiteral("VELKOR の記録ではありません (空のデータベースです)"));
    case sqlite::LogFileKind::Foreign: return LogFileResult::failure(reason);
    }
    const qint64 bytes =
        QFileInfo(fileName).size() + QFileInfo(fileName + QStringLiteral("-wal")).size();
    db.setWorkBudget(std::max(kLeastSteps, bytes * kStepsPerByte));
    return LogFileResult::success();
}

// Whether the run is in the file; the reason names the runs there when not.
LogFileResult checkRun(Database& db, qint64 run) {
    Statement s(db, "SELECT (SELECT count(*) FROM runs WHERE run = ?1), min(run), max(run) "
                    "FROM runs");
    if (!s.ok()) {
        return LogFileResult::failure(damaged(db));
    }
    sqlite3_bind_int64(s.get(), 1, run);
    if (s.step() != SQLITE_ROW) {
        return LogFileResult::failure(damaged(db));
    }
    if (sqlite3_column_int64(s.get(), 0) > 0) {
        return LogFileResult::success();
    }
    if (sqlite3_column_type(s.get(), 1) == SQLITE_NULL) {
        return LogFileResult::failure(
            QStringLiteral("run %1 はありません (run がひとつもありません)").arg(run));
    }
    return LogFileResult::failure(QStringLiteral("run %1 はありません (run は %2 から %3 まで)")
                                      .arg(run)
                                      .arg(sqlite3_column_int64(s.get(), 1))
                                      .arg(sqlite3_column_int64(s.get(), 2)));
}

// A column that holds a number of the log's 32-bit fields (No, NVal).
bool int32Column(sqlite3_stmt* s, int column, std::optional<qint32>* out) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL) {
        out->reset();
        return true;
    }
    const sqlite3_int64 v = sqlite3_column_int64(s, column);
    if (v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    *out = static_cast<qint32>(v);
    return true;
}

// The local day of a moment, for runs of rows on the same day.
class DayOf {
public:
    QDate operator()(sqlite3_int64 utcMs, sqlite3_int64 offsetSeconds) {
        const sqlite3_int64 local = utcMs + offsetSeconds * 1000;
        const sqlite3_int64 day = local >= 0 ? local / 86'400'000 : (local + 1) / 86'400'000 - 1;
        if (day != lastDay_) {
            lastDay_ = day;
            date_ = QDate(1970, 1, 1).addDays(day);
        }
        return date_;
    }

private:
    sqlite3_int64 lastDay_ = INT64_MIN;
    QDate date_;
};

bool isAscii(const unsigned char* p, int n) {
    for (int i = 0; i < n; ++i) {
        if (p[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

LogFileResult readRows(Database& db, LogRowBuffer& rows, const SqliteLogReading& how) {
    const char* sql =
        how.run ? "SELECT no, time, function, value, unit_code, judge, nval, utc_ms, utc_offset "
                  "FROM readings WHERE run = ?1 ORDER BY id"
                : "SELECT no, time, function, value, unit_code, judge, nval, utc_ms, utc_offset "
                  "FROM readings ORDER BY id";
    Statement s(db, sql);
    if (!s.ok()) {
        return LogFileResult::failure(damaged(db));
    }
    sqlite3_stmt* st = s.get();
    if (how.run) {
        sqlite3_bind_int64(st, 1, *how.run);
    }
    DayOf dayOf;
    int rc = SQLITE_ROW;
    while ((rc = s.step()) == SQLITE_ROW) {
        if (rows.rowCount() >= kMaxSqliteLogRows) {
            return LogFileResult::failure(
                QStringLiteral("行が多すぎます (%1 行まで)").arg(kMaxSqliteLogRows));
        }
        std::optional<qint32> no, nval;
        if (!int32Column(st, 0, &no) || !int32Column(st, 6, &nval)) {
            return LogFileResult::failure(
                QStringLiteral("壊れています (番号が 32 ビットの整数に収まりません)"));
        }
        const unsigned char* text[5];
        int size[5];
        bool ascii = true;
        for (int f = 0; f < 5; ++f) {
            text[f] = sqlite3_column_text(st, 1 + f);
            size[f] = sqlite3_column_bytes(st, 1 + f);
            if (!text[f] && sqlite3_errcode(db.handle()) == SQLITE_NOMEM) {
                throw std::bad_alloc();
            }
            ascii = ascii && isAscii(text[f], size[f]);
        }
        if (ascii) {
            LogRowBuffer::Latin1Texts t;
            for (int f = 0; f < 5; ++f) {
                t[static_cast<std::size_t>(f)] =
                    QLatin1String(reinterpret_cast<const char*>(text[f]), size[f]);
            }
            rows.append(no, t, nval);
        } else {
            QString held[5];
            LogRowBuffer::Texts t;
            for (int f = 0; f < 5; ++f) {
                held[f] = QString::fromUtf8(reinterpret_cast<const char*>(text[f]), size[f]);
                t[static_cast<std::size_t>(f)] = held[f];
            }
            rows.append(no, t, nval);
        }
        const bool known = sqlite3_column_type(st, 7) != SQLITE_NULL;
        if (how.dates && known) {
            how.dates->noteLogged(rows.rowCount() - 1,
                                  dayOf(sqlite3_column_int64(st, 7), sqlite3_column_int64(st, 8)));
        }
        if (how.moments) {
            how.moments->push_back(
                known ? std::optional(RowMoment{sqlite3_column_int64(st, 7),
                                                static_cast<int>(std::clamp<sqlite3_int64>(
                                                    sqlite3_column_int64(st, 8), -50400, 50400))})
                      : std::nullopt);
        }
    }
    if (rc != SQLITE_DONE) {
        return LogFileResult::failure(damaged(db));
    }
    return LogFileResult::success();
}

} // namespace

LogFileResult readLogSqlite(const QString& fileName, LogRowBuffer& rows,
                            const SqliteLogReading& how) {
    rows.clear();
    if (how.dates) {
        how.dates->clear();
    }
    if (how.moments) {
        how.moments->clear();
    }
    Database db;
    LogFileResult r = openLog(db, fileName);
    if (r && how.run) {
        r = checkRun(db, *how.run);
    }
    if (r) {
        try {
            r = readRows(db, rows, how);
        } catch (const std::bad_alloc&) {
            r = LogFileResult::failure(QStringLiteral("メモリが足りません"));
        }
    }
    if (!r) {
        rows.clear();
        if (how.dates) {
            how.dates->clear();
        }
        if (how.moments) {
            how.moments->clear();
        }
    }
    return r;
}

LogFileResult listLogSqliteRuns(const QString& fileName, std::vector<SqliteLogRun>* runs,
                                qsizetype max) {
    runs->clear();
    Database db;
    if (LogFileResult r = openLog(db, fileName); !r) {
        return r;
    }
    Statement s(db, "SELECT run, program, variant, device, started_ms, started_offset, ended_ms "
                    "FROM runs ORDER BY run LIMIT ?1");
    if (!s.ok()) {
        return LogFileResult::failure(damaged(db));
    }
    sqlite3_stmt* st = s.get();
    sqlite3_bind_int64(st, 1, max);
    const auto text = [st](int column) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, column)),
                                 sqlite3_column_bytes(st, column));
    };
    const auto moment = [st](int column, int offsetColumn) {
        if (sqlite3_column_type(st, column) == SQLITE_NULL) {
            return QDateTime();
        }
        const QTimeZone zone(static_cast<int>(
            std::clamp<sqlite3_int64>(sqlite3_column_int64(st, offsetColumn), -50400, 50400)));
        return QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(st, column), zone);
    };
    int rc = SQLITE_ROW;
    while ((rc = s.step()) == SQLITE_ROW) {
        SqliteLogRun run;
        run.run = sqlite3_column_int64(st, 0);
        run.program = text(1);
        run.variant = text(2);
        run.device = text(3);
        run.started = moment(4, 5);
        run.ended = moment(6, 5);
        runs->push_back(std::move(run));
    }
    if (rc != SQLITE_DONE) {
        runs->clear();
        return LogFileResult::failure(damaged(db));
    }
    return LogFileResult::success();
}

} // namespace velkor
