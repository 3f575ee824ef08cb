#pragma once

#include "disk/LogFileResult.h"
#include "record/LogRecord.h"
#include "record/LogTable.h"

#include <QByteArray>
#include <QDate>
#include <QIODevice>
#include <QString>
#include <functional>

namespace velkor {

// The log as CSV (RFC 4180: comma separated, CRLF line ends, a field quoted
// when it holds a comma, a quote or a line break, quotes doubled), UTF-8
// without a byte order mark, for spreadsheets and scripts:
//
//   No,Date,Time,Function,Value,Unit,Judge,SI
//   1,2026-12-10,21:05:03,DC,123.4,mV,pass,0.1234
//
// Date is the day the row was logged when it is known (rows from a file have
// none), Time the row's time text, Value the value as the meter showed it,
// Unit in readable form (V, mV, Ω, kΩ, µF, °C ...), SI the value in the
// base unit with a "." point (empty for an overload or an unknown unit).
// A file, once written, is read by no part of the program.

// The date of a row (invalid: not known).
using RowDateFn = std::function<QDate(qsizetype row)>;

// ".csv" in any case.
bool isCsvName(const QString& fileName);

QByteArray logCsvHeader();
// One row with its line end.
void appendLogCsvRow(QByteArray& out, const LogRecord& row, QDate date);

LogFileResult writeLogCsv(const LogTable& table, QIODevice& out, const RowDateFn& dateOf = {});
// Writes the whole file through writeFileAtomically.
LogFileResult saveLogCsv(const LogTable& table, const QString& fileName,
                         const RowDateFn& dateOf = {});

} // namespace velkor
