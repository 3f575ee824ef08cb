#pragma once

#include "record/LogRecord.h"

#include <QString>

namespace velkor {

class LogRowBuffer;

// What the log files, the report and the command line need of a log's
// rows: read them from the row store that holds them, and change them all
// at once, so that a load or an import that fails midway leaves the rows
// as they were.
class LogTable {
public:
    virtual ~LogTable() = default;

    // The rows as they are held.
    virtual const LogRowBuffer& store() const = 0;
    // Appends the rows after the existing ones.
    virtual void appendRows(const LogRowBuffer& rows) = 0;
    // Replaces every row with these.
    virtual void replaceRows(LogRowBuffer&& rows) = 0;

    qsizetype rowCount() const;
    LogRecord row(qsizetype index) const;

    // Field position (0-6) of a field name, looked up without regard to case;
    // -1 when there is none.
    static int fieldIndex(const QString& name);
};

} // namespace velkor
