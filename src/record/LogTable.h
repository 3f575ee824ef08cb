#pragma once

#include "record/LogRecord.h"

#include <QString>
#include <vector>

namespace velkor {

// What the log files and the report need of the measurement table: read the
// rows in order, and change them all at once, so that a load or an import
// that fails midway leaves the table as it was.
class LogTable {
public:
    virtual ~LogTable() = default;

    virtual qsizetype rowCount() const = 0;
    virtual LogRecord row(qsizetype index) const = 0;

    // Appends rows after the existing ones (texts cut to 20 characters).
    virtual void appendRows(const std::vector<LogRecord>& rows) = 0;
    // Replaces every row (texts cut to 20 characters).
    virtual void replaceRows(const std::vector<LogRecord>& rows) = 0;

    // Field position (0-6) of a field name, looked up without regard to case;
    // -1 when there is none.
    static int fieldIndex(const QString& name);
};

} // namespace velkor
