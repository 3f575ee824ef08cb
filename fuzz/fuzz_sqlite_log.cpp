// A log file in the SQLite form, as Open, convert and report read it: the
// file's schema checked, its runs listed, its rows read (all, and one run).
#include "FuzzInput.h"
#include "logfiles/sqlite/LogSqliteFile.h"

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::writeInputFile(data, size, ".sqlite");
    std::vector<SqliteLogRun> runs;
    listLogSqliteRuns(path, &runs, 100);
    for (const std::optional<qint64> run : {std::optional<qint64>(), std::optional<qint64>(1)}) {
        LogRowBuffer rows;
        RowDates dates;
        const LogFileResult r = readLogSqlite(path, rows, {run, &dates});
        // A refused file leaves no row and no day behind.
        if (!r && (rows.rowCount() != 0 || !dates.empty())) {
            __builtin_trap();
        }
    }
    return 0;
}
