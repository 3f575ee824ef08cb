#pragma once

#include "disk/LogFileResult.h"
#include "logfiles/LogCsvFile.h"
#include "logfiles/sqlite/LogSqliteWriter.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"
#include "record/RowDates.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace velkor::cli {

class CliOptions;

// How a log file is read: an SQLite log's runs all, or the one named; and
// the days the rows were logged, where the file knows them.
struct LogFileReading {
    std::optional<qint64> run;
    RowDates* dates = nullptr;
};
// The option --run N of the commands that read a log (N: a run of an
// SQLite log, 1 or more). Sets *error when N is no such number.
std::optional<qint64> runOption(const CliOptions& opts, QString* error);

// Reads a log file the way the program opens it: ".xml" as an XML data
// packet, ".sqlite" and ".db" as the SQLite log (every run, or the one
// named), any other name as a workbook (by its content). A workbook whose
// first sheet is not six columns wide has no log rows to give: an error.
// CSV is written for other programs and not read back: an error too; so is
// a run named for a file that is no SQLite log.
LogFileResult readLogFile(const QString& fileName, const QLocale& locale, LogRowBuffer* rows,
                          const LogFileReading& how = {});
// Writes a log file the way the program saves it: ".xml" as an XML data
// packet, ".csv" (any case) as CSV with the rows' dates where `dateOf`
// knows them, ".sqlite" and ".db" as a run added to the SQLite log (`run`
// describes it), any other name as a workbook.
LogFileResult writeLogFile(const LogTable& table, const QString& fileName,
                           const RowDateFn& dateOf = {}, const LogRunInfo& run = {});
// How velkor-cli describes a log it saves into an SQLite file.
LogRunInfo cliRunInfo(const QString& device);

} // namespace velkor::cli
