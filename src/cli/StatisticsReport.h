#pragma once

#include <QJsonArray>
#include <QString>
#include <string>

namespace velkor {
class CsvLine;
class LogStatistics;
} // namespace velkor

namespace velkor::cli {

// The statistics of a log as velkor-cli prints them: a readable table (stats,
// and log's summary on standard error), CSV and JSON (stats --csv, --json).
// Values are in the base unit; the minimum and maximum exactly as their rows
// give them, the mean and standard deviation to 6 significant digits in the
// table and in full in CSV and JSON; row numbers count from 1.

// One line per group under a header, columns aligned:
//   Function Unit Count Overload Fail Min No. Time Max No. Time Mean StdDev First Last
// "(no rows)" for a log without rows.
std::string statisticsTable(const LogStatistics& statistics);

// The CSV header, and one line per group after `file`'s name.
void appendStatisticsCsvHeader(CsvLine& line);
std::string statisticsCsvLines(CsvLine& line, const QString& file, const LogStatistics& statistics);

// The groups as JSON objects.
QJsonArray statisticsJson(const LogStatistics& statistics);

} // namespace velkor::cli
