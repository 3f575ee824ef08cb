#pragma once

#include <QDate>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace velkor {

// The moment a row was logged: Unix time in milliseconds and the local
// time's offset from UTC then, in seconds.
struct RowMoment {
    qint64 utcMs = 0;
    int utcOffset = 0;
};

// The date of each row of the log where it is known. The table keeps only
// a row's time of day; the rules log rows in order, so the dates are kept
// as runs of rows logged on the same day, a few bytes for a whole log.
// Rows that came from a file have no date. Whoever changes the table's
// rows otherwise (empties it, replaces them) clears the dates.
class RowDates {
public:
    // Row `row` (the table's last) was logged on `date`.
    void noteLogged(qsizetype row, QDate date);
    // The date of a row; invalid when it is not known.
    QDate dateOf(qsizetype row) const;
    // Every row goes (the table was emptied or its rows replaced).
    void clear() { runs_.clear(); }
    bool empty() const { return runs_.empty(); }
    // The dates of `other`, whose row 0 is row `first` here.
    void append(qsizetype first, const RowDates& other);

private:
    struct Run {
        qsizetype first;
        qsizetype last;
        QDate date;
    };
    std::vector<Run> runs_; // ascending, not overlapping
};

} // namespace velkor
