#include "logfiles/sqlite/LogSqliteSchema.h"

#include "logfiles/sqlite/SqliteDatabase.h"

#include <QByteArray>
#include <optional>

namespace velkor::sqlite {

const char* const kRunsTable = R"(CREATE TABLE runs (
    run INTEGER PRIMARY KEY,  -- 1, 2, 3 ... in the order the runs began
    program TEXT NOT NULL,    -- what wrote the run, with its version: 'velkor-cli 1.0.0'
    variant TEXT NOT NULL,    -- the meter variant: 'IFHALVIN'
    device TEXT NOT NULL,     -- where the readings came from: '/dev/ttyUSB0', 'hid', 'stdin',
                              -- a file (logged, or converted); '' for the window's log
    started_ms INTEGER,       -- when the run began (a log saved whole: when it was saved),
                              -- Unix time in milliseconds (UTC)
    started_offset INTEGER,   -- the local time's offset from UTC then, in seconds (32400: +09:00)
    ended_ms INTEGER,         -- when it ended (UTC milliseconds); NULL while it runs, or when
                              -- the logger was killed or lost its power
    limit_hi TEXT,            -- the upper and the lower limit as given ('6000', '-6000')
    limit_lo TEXT,
    sampling_s INTEGER,       -- the sampling interval in seconds; NULL: continuous, every
                              -- reading is offered to the log
    repeats INTEGER,          -- 1: repeated readings are logged; 0: they are dropped
    max_records INTEGER       -- the size limit in rows; NULL: none
))";

const char* const kReadingsTable = R"(CREATE TABLE readings (
    id INTEGER PRIMARY KEY,   -- the order in which the rows were logged, across runs
    run INTEGER NOT NULL REFERENCES runs (run),
    no INTEGER,               -- the reading's number in its run (the log's No); NULL: none
    utc_ms INTEGER,           -- when it was logged, Unix time in milliseconds (UTC); NULL for
                              -- rows that came from a file
    utc_offset INTEGER,       -- the local time's offset from UTC then, in seconds
    time TEXT NOT NULL,       -- the time as the log's grid shows it ('21:05:03')
    function TEXT NOT NULL,   -- 'DC', 'AC', 'OHM', 'Diode', 'CTN', 'CAP', 'TMP', 'Freq', 'DutyCycle'
    value TEXT NOT NULL,      -- the value as the meter showed it ('012.3'; '0L': overload)
    unit TEXT NOT NULL,       -- its unit, readable: 'V', 'mV', 'kΩ', 'µF', '°C', 'Hz', '%'
    judge TEXT NOT NULL,      -- the limit judge: 'pass' or 'Fail'
    si REAL,                  -- the value in si_unit (123.4 mV gives 0.1234); NULL for an
                              -- overload or a unit not known
    si_unit TEXT,             -- the base unit: 'V', 'A', 'Ω', 'F', 'Hz', '°C', '°F' or '%'
    marks TEXT,               -- the display marks shown, named as velkor-cli decode names them,
                              -- separated by blanks ('LcdDc1 LcdV LcdAuto'); NULL: not known
    frame BLOB,               -- the frame as decoded, sign to carriage return (13 bytes; the
                              -- line feed follows on the line); NULL: not known
    unit_code TEXT NOT NULL,  -- the unit as the meter's display writes it, as the other log
                              -- forms hold it ('k*' for kΩ, '#' for °C)
    nval INTEGER              -- the log's NVal field, which the program leaves empty
))";

namespace {

const char* const kCreate[] = {
    "BEGIN IMMEDIATE",
    "PRAGMA application_id = 1447840594", // 0x564C4B52, "VLKR"
    "PRAGMA user_version = 1",
};

std::optional<qint64> pragmaNumber(Database& db, const char* sql) {
    Statement s(db, sql);
    if (!s.ok() || s.step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return sqlite3_column_int64(s.get(), 0);
}

// The definition of a table of the file: its type and its text.
struct Definition {
    bool found = false;
    QByteArray type;
    QByteArray sql;
};

Definition definitionOf(Database& db, const char* name) {
    Definition d;
    Statement s(db, "SELECT type, sql FROM sqlite_schema WHERE name = ?1");
    if (!s.ok()) {
        return d;
    }
    sqlite3_bind_text(s.get(), 1, name, -1, SQLITE_STATIC);
    if (s.step() == SQLITE_ROW) {
        d.found = true;
        d.type = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)));
        d.sql = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1)));
    }
    return d;
}

QString notAVelkorLog(const QString& why) {
    return QStringLiteral("VELKOR の記録ではありません (%1)").arg(why);
}

} // namespace

static_assert(kLogApplicationId == 1447840594);

LogFileKind checkLogSchema(Database& db, QString* reason) {
    const auto applicationId = pragmaNumber(db, "PRAGMA application_id");
    const auto version = pragmaNumber(db, "PRAGMA user_version");
    const auto objects = pragmaNumber(db, "SELECT count(*) FROM sqlite_schema");
    if (!applicationId || !version || !objects) {
        *reason = db.errorCode() == SQLITE_NOTADB
                      ? QStringLiteral("SQLite データベースではありません")
                      : QStringLiteral("壊れています (%1)").arg(db.errorText());
        return LogFileKind::Foreign;
    }
    if (*applicationId == 0 && *version == 0 && *objects == 0) {
        return LogFileKind::Empty;
    }
    if (*applicationId != kLogApplicationId) {
        *reason = notAVelkorLog(QStringLiteral("ほかのプログラムの SQLite データベースです"));
        return LogFileKind::Foreign;
    }
    if (*version > kLogSchemaVersion) {
        *reason = QStringLiteral("新しい版の VELKOR が書いた記録です (形式 %1、この版が読めるのは"
                                 "形式 %2 まで)")
                      .arg(*version)
                      .arg(kLogSchemaVersion);
        return LogFileKind::Foreign;
    }
    if (*version != kLogSchemaVersion) {
        *reason = notAVelkorLog(QStringLiteral("形式 %1 は知られていません").arg(*version));
        return LogFileKind::Foreign;
    }
    const struct {
        const char* name;
        const char* sql;
    } tables[] = {{"runs", kRunsTable}, {"readings", kReadingsTable}};
    for (const auto& t : tables) {
        const Definition d = definitionOf(db, t.name);
        if (!d.found || d.type != "table" || d.sql != QByteArray(t.sql)) {
            *reason = notAVelkorLog(
                QStringLiteral("表 %1 が%2")
                    .arg(QLatin1String(t.name), d.found ? QStringLiteral("記録の形式と違います")
                                                        : QStringLiteral("ありません")));
            return LogFileKind::Foreign;
        }
    }
    return LogFileKind::Log;
}

LogFileResult createLogSchema(Database& db) {
    bool ok = true;
    for (const char* sql : kCreate) {
        ok = ok && db.exec(sql);
    }
    ok = ok && db.exec(kRunsTable) && db.exec(kReadingsTable) && db.exec("COMMIT");
    if (!ok) {
        const QString why = db.errorText();
        db.exec("ROLLBACK");
        return LogFileResult::failure(why);
    }
    return LogFileResult::success();
}

} // namespace velkor::sqlite
