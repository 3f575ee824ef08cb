#pragma once

#include "record/LogFileResult.h"
#include "record/LogRowBuffer.h"
#include "record/LogTable.h"

#include <QLocale>
#include <QString>

namespace velkor::cli {

// Reads a log file the way the program opens it: ".xml" as an XML data
// packet, any other name as a workbook (by its content). A workbook whose
// first sheet is not six columns wide has no log rows to give: an error.
LogFileResult readLogFile(const QString& fileName, const QLocale& locale, LogRowBuffer* rows);
// Writes a log file the way the program saves it: ".xml" as an XML data
// packet, any other name as a workbook.
LogFileResult writeLogFile(const LogTable& table, const QString& fileName, const QLocale& locale);

} // namespace velkor::cli
