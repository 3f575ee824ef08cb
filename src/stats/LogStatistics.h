#pragma once

#include "stats/RunningStats.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace velkor {

class LogRowBuffer;

// Where a figure was found: the row's place in the log (0 is the first
// row), its number (No) and its time text as the table holds them.
struct RowRef {
    std::int64_t row = -1;
    std::optional<qint32> no;
    QString time;

    bool operator==(const RowRef&) const = default;
};

// The figures of one function and unit of a log. Values are taken in the
// base unit (123.4 mV as 0.1234 V, 4.7 kΩ as 4700 Ω), as the CSV's SI
// column has them, so one group holds every range of a quantity. A row
// without such a value (the meter's overload "0L"; from a foreign file, a
// text that is no number or a unit the meter does not know) is counted
// among the overloads and kept out of the figures.
struct GroupStatistics {
    QString function; // the DC/AC field: "DC", "AC", "OHM" ...
    QString unit;     // the base unit, readable: "V", "Ω", "°C"; a foreign unit as written

    std::int64_t rows = 0;      // every row of the group
    std::int64_t overloads = 0; // rows whose value is no number
    std::int64_t fails = 0;     // rows judged "Fail"
    RunningStats values;        // the values in the base unit
    double minimum = 0.0;       // meaningful with values.count() > 0
    double maximum = 0.0;
    RowRef minimumAt; // the first row with the minimum
    RowRef maximumAt; // the first row with the maximum
    RowRef first;     // the group's first and last row
    RowRef last;

    std::int64_t count() const { return values.count(); }
};

// The statistics of a log's rows, group by group in the order the groups
// first appear, read from the row store the table holds: nothing of the
// rows is copied but the few texts the figures point at. Rows are added in
// the order they stand in the log; the figures follow with every call, so
// a growing log costs only its new rows.
class LogStatistics {
public:
    // Adds the rows [first, end) of `rows`. `rowBase` is the place in the
    // log of rows' row 0, for a store that holds only the newest rows of a
    // longer log.
    void addRows(const LogRowBuffer& rows, std::int64_t first, std::int64_t end,
                 std::int64_t rowBase = 0);
    void clear();

    const std::vector<GroupStatistics>& groups() const { return groups_; }
    // Rows added.
    std::int64_t rows() const { return rows_; }

private:
    std::vector<GroupStatistics> groups_;
    std::int64_t rows_ = 0;
};

} // namespace velkor
