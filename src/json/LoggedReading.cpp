#include "json/LoggedReading.h"

#include "meter/Reading.h"
#include "meter/UnitTable.h"
#include "record/LogRecord.h"

namespace velkor::json {

JsonReading loggedReading(const LogRecord& row, const QDateTime& moment, const QStringList& marks) {
    JsonReading r;
    r.no = row.No.value_or(0);
    r.timestamp = moment;
    r.function = row.DCAC;
    r.value = row.Value;
    r.unit = readableUnit(row.Unit);
    r.si = baseUnitValue(row.Value, row.Unit);
    r.judge = row.Auto;
    r.marks = marks;
    return r;
}

QStringList readingMarks(const Reading& reading) {
    if (reading.RangeModeText.isEmpty()) {
        return {};
    }
    return {reading.RangeModeText};
}

} // namespace velkor::json
