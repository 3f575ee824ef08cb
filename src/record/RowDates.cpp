#include "record/RowDates.h"

#include <algorithm>

namespace velkor {

void RowDates::noteLogged(qsizetype row, QDate date) {
    if (!date.isValid()) {
        return;
    }
    // A row at or before the last run's end means the rows were renumbered
    // behind our back (emptied without a reset): start again from here.
    while (!runs_.empty() && runs_.back().last >= row) {
        if (runs_.back().first >= row) {
            runs_.pop_back();
        } else {
            runs_.back().last = row - 1;
        }
    }
    if (!runs_.empty() && runs_.back().last + 1 == row && runs_.back().date == date) {
        runs_.back().last = row;
        return;
    }
    runs_.push_back({row, row, date});
}

QDate RowDates::dateOf(qsizetype row) const {
    const auto it = std::upper_bound(runs_.begin(), runs_.end(), row,
                                     [](qsizetype r, const Run& run) { return r < run.first; });
    if (it == runs_.begin()) {
        return {};
    }
    const Run& run = *(it - 1);
    return row <= run.last ? run.date : QDate();
}

void RowDates::append(qsizetype first, const RowDates& other) {
    for (const Run& run : other.runs_) {
        noteLogged(first + run.first, run.date);
        runs_.back().last = first + run.last;
    }
}

} // namespace velkor
