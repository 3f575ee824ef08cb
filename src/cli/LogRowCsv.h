#pragma once

#include "record/LogRecord.h"

#include <QDateTime>
#include <string>

namespace velkor::cli {

// The lines velkor-cli log prints, one per logged row:
//   No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp
// with the row's fields as the table holds them, the value given to the
// chart, and the moment as ISO 8601 with milliseconds and UTC offset. Every
// line of the command goes through here.
std::string logRowCsvHeader();
// Appends one row with its line feed.
void appendLogRowCsv(std::string& out, const LogRecord& row, double scaledValue,
                     const QDateTime& moment);
// The same with the moment as Unix time in milliseconds and its offset from
// UTC in seconds.
void appendLogRowCsv(std::string& out, const LogRecord& row, double scaledValue, qint64 utcMs,
                     int offsetSeconds);

} // namespace velkor::cli
