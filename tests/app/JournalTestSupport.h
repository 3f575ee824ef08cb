#pragma once

#include "app/WindowTestSupport.h"
#include "logfiles/sqlite/LogSqliteFile.h"

#include <string>

namespace velkor::test {

// The readings the journal tests log: 01.10, 01.11, ... volts DC, every one
// unlike the one before.
inline MeterFrame journalReading(int i) {
    return meterFrame("01." + std::to_string(10 + i),
                      {status1::Auto | status1::DC, 0, 0, status4::Volt});
}

// The rows committed to an SQLite journal; -1 when it cannot be read (no
// file yet, or none any more).
inline qsizetype journalRows(const QString& path) {
    LogRowBuffer rows;
    if (path.isEmpty() || !readLogSqlite(path, rows)) {
        return -1;
    }
    return rows.rowCount();
}

} // namespace velkor::test
