#pragma once

#include "disk/LogFileResult.h"
#include "logfiles/LogCsvFile.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"

#include <QLocale>
#include <QString>

namespace velkor::cli {

// Reads a log file the way the program opens it: ".xml" as an XML data
// packet, any other name as a workbook (by its content). A workbook whose
// first sheet is not six columns wide has no log rows to give: an error.
// CSV is written for other programs and not read back: an error too.
LogFileResult readLogFile(const QString& fileName, const QLocale& locale, LogRowBuffer* rows);
// Writes a log file the way the program saves it: ".xml" as an XML data
// packet, ".csv" (any case) as CSV with the rows' dates where `dateOf`
// knows them, any other name as a workbook.
LogFileResult writeLogFile(const LogTable& table, const QString& fileName,
                           const RowDateFn& dateOf = {});

} // namespace velkor::cli
