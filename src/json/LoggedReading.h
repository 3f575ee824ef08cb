#pragma once

#include "json/ReadingJson.h"

namespace velkor {
struct LogRecord;
struct Reading;
} // namespace velkor

namespace velkor::json {

// A logged row as its JSON object gives it: the row's number and texts, the
// unit readable, the value in its base unit (none for an overload or an
// unknown unit), the moment it was logged and the marks shown with it.
JsonReading loggedReading(const LogRecord& row, const QDateTime& moment, const QStringList& marks);

// The marks a reading carries into its JSON: the range mode, when shown.
QStringList readingMarks(const Reading& reading);

} // namespace velkor::json
