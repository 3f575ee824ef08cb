#pragma once

#include "disk/LogFileResult.h"

namespace velkor::sqlite {

class Database;

// The log's schema, written for people who query the file with the sqlite3
// shell, Python or Grafana as much as for this program: a table of runs
// (each start of a logger, each log saved into the file) and a table of
// readings, one row per logged reading. The file says what it is in its
// header: application_id 'VLKR' and user_version, the schema's version.
// The statements below are stored in the file as they are written here,
// comments included, so `.schema` in the sqlite3 shell shows them.

inline constexpr int kLogApplicationId = 0x564C4B52; // "VLKR"
inline constexpr int kLogSchemaVersion = 1;

extern const char* const kRunsTable;
extern const char* const kReadingsTable;

// What a file holds, as far as a log is concerned.
enum class LogFileKind {
    Empty,   // a new database: no table, no application id, version 0
    Log,     // a log of this schema
    Foreign, // anything else (the reason says what)
};

// Checks the file's header fields and its two tables (present, real
// tables, defined exactly as this version defines them) before a row is
// read or written. Other tables and indexes a user added are left alone.
LogFileKind checkLogSchema(Database& db, QString* reason);

// Makes the schema in an empty database, in one transaction.
LogFileResult createLogSchema(Database& db);

} // namespace velkor::sqlite
