#pragma once

#include "disk/LogFileResult.h"
#include "logfiles/sqlite/LogSqliteWriter.h"
#include "record/LogRowBuffer.h"
#include "record/RowDates.h"

#include <QString>
#include <optional>
#include <vector>

namespace velkor {

// The log as an SQLite database: a file of runs (each start of a logger,
// each log saved into it), one row per logged reading; the schema is in
// LogSqliteSchema.h. Writing into a file adds a run and never changes the
// runs already in it (LogSqliteWriter); reading takes every run, in the
// order they were logged, or one of them.
//
// A file is read as one from anywhere: read-only, with SQLite's defensive
// settings, its schema checked before a row is read, and bounded in what it
// may cost (rows, the length of a value, the work of a statement). A file
// that is not a log of this program or is damaged is refused with the
// reason, and `rows` is left empty.

// Rows a file may give.
inline constexpr qsizetype kMaxSqliteLogRows = qsizetype(16) << 20;

struct SqliteLogReading {
    std::optional<qint64> run; // none: every run
    RowDates* dates = nullptr; // filled with the days the rows were logged, when given
    // Filled with the moment of each row (none: not known), when given.
    std::vector<std::optional<RowMoment>>* moments = nullptr;
};

LogFileResult readLogSqlite(const QString& fileName, LogRowBuffer& rows,
                            const SqliteLogReading& how = {});

// A run of a file, as its table of runs says.
struct SqliteLogRun {
    qint64 run = 0;
    QString program, variant, device;
    QDateTime started, ended; // ended invalid: not ended
};
// The runs of a file, at most `max` (the first ones).
LogFileResult listLogSqliteRuns(const QString& fileName, std::vector<SqliteLogRun>* runs,
                                qsizetype max = 1000);

// Adds the whole log to the file as one run (a new file is made).
inline LogFileResult saveLogSqlite(const LogRowBuffer& rows, const QString& fileName,
                                   const LogRunInfo& run) {
    return LogSqliteWriter::saveAll(rows, fileName, run);
}

} // namespace velkor
