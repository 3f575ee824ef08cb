#pragma once

#include "disk/LogFileResult.h"

#include <QString>

namespace velkor::cli {

struct LogOptions;

// The names velkor-cli writes, checked before any work is done: a log is
// written as .xml, .xlsx, .xls, .txt, .csv, .sqlite or .db (any case; a
// name in .xml that is not exactly ".xml" is a workbook, as in the window's
// save), the report as .pdf. Another name would get a file whose content its name
// belies, so it is refused as a usage error.

// Why `name` given as `what` ("--save", "convert OUT") is no log form
// velkor-cli writes, or an empty text when it is one.
QString logFormError(const QString& what, const QString& name);
// Why `name` is no name for the report's PDF, or an empty text.
QString reportFormError(const QString& name);

// Whether the log could be saved to `name` now, by the rules every save
// follows (the folder exists and may be written, an existing file is a
// regular file the user may replace): tried without leaving a trace.
LogFileResult checkSaveTarget(const QString& name);

// velkor-cli log's --save target, before anything is read or connected: 0
// when it can be written (or there is none), else the exit status with the
// reason told.
int checkLogSaveTarget(const LogOptions& options);

} // namespace velkor::cli
