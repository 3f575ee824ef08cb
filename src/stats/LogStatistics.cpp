#include "stats/LogStatistics.h"

#include "meter/UnitTable.h"
#include "record/LogRowBuffer.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>

namespace velkor {

namespace {

// The row store's text fields.
constexpr int kTime = 1;
constexpr int kFunction = 2;
constexpr int kValue = 3;
constexpr int kUnit = 4;
constexpr int kJudge = 5;

// A log repeats its texts: each pair of text numbers is worked out once
// per call. The value cache is bounded for a log of ever new values.
constexpr qsizetype kValueCacheLimit = 1 << 16;

constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();

quint64 pairKey(std::uint32_t a, std::uint32_t b) {
    return (quint64(a) << 32) | b;
}

// The rows of a group that this call found, resolved into RowRefs once
// the rows are read.
struct Found {
    std::int64_t minimum = -1;
    std::int64_t maximum = -1;
    std::int64_t first = -1;
    std::int64_t last = -1;
};

} // namespace

void LogStatistics::addRows(const LogRowBuffer& rows, std::int64_t first, std::int64_t end,
                            std::int64_t rowBase) {
    first = std::max<std::int64_t>(first, 0);
    end = std::min<std::int64_t>(end, rows.rowCount());
    if (first >= end) {
        return;
    }
    // Text numbers belong to the store as it is now: the caches live for
    // this call only.
    QHash<quint64, int> groupOf;
    QHash<quint64, double> valueOf;
    QHash<std::uint32_t, bool> failOf;
    std::vector<Found> found(groups_.size());
    quint64 lastGroupKey = ~quint64(0);
    int group = -1;
    quint64 lastValueKey = ~quint64(0);
    double value = kNoNumber;
    std::uint32_t lastJudge = ~std::uint32_t(0);
    bool fail = false;

    for (std::int64_t r = first; r < end; ++r) {
        const qsizetype row = static_cast<qsizetype>(r);
        const std::uint32_t unitId = rows.textNumber(row, kUnit);
        if (const quint64 key = pairKey(rows.textNumber(row, kFunction), unitId);
            key != lastGroupKey) {
            lastGroupKey = key;
            if (const auto it = groupOf.constFind(key); it != groupOf.constEnd()) {
                group = *it;
            } else {
                const QString function = rows.text(row, kFunction);
                const QString unitText = rows.text(row, kUnit);
                const auto info = unitInfo(unitText);
                const QString unit = info ? info->base : readableUnit(unitText);
                const auto same = std::find_if(groups_.begin(), groups_.end(), [&](const auto& g) {
                    return g.function == function && g.unit == unit;
                });
                group = static_cast<int>(same - groups_.begin());
                if (same == groups_.end()) {
                    GroupStatistics g;
                    g.function = function;
                    g.unit = unit;
                    groups_.push_back(std::move(g));
                    found.emplace_back();
                }
                groupOf.insert(key, group);
            }
        }
        if (const quint64 key = pairKey(rows.textNumber(row, kValue), unitId);
            key != lastValueKey) {
            lastValueKey = key;
            if (const auto it = valueOf.constFind(key); it != valueOf.constEnd()) {
                value = *it;
            } else {
                value = baseUnitValue(rows.text(row, kValue), rows.text(row, kUnit))
                            .value_or(kNoNumber);
                if (valueOf.size() >= kValueCacheLimit) {
                    valueOf.clear();
                }
                valueOf.insert(key, value);
            }
        }
        if (const std::uint32_t judge = rows.textNumber(row, kJudge); judge != lastJudge) {
            lastJudge = judge;
            if (const auto it = failOf.constFind(judge); it != failOf.constEnd()) {
                fail = *it;
            } else {
                fail =
                    rows.text(row, kJudge).compare(QLatin1String("Fail"), Qt::CaseInsensitive) == 0;
                failOf.insert(judge, fail);
            }
        }

        GroupStatistics& g = groups_[static_cast<std::size_t>(group)];
        Found& f = found[static_cast<std::size_t>(group)];
        ++g.rows;
        g.fails += fail ? 1 : 0;
        if (g.first.row < 0 && f.first < 0) {
            f.first = r;
        }
        f.last = r;
        if (std::isnan(value)) {
            ++g.overloads;
            continue;
        }
        const bool firstValue = g.values.count() == 0;
        g.values.add(value);
        if (firstValue || value < g.minimum) {
            g.minimum = value;
            f.minimum = r;
        }
        if (firstValue || value > g.maximum) {
            g.maximum = value;
            f.maximum = r;
        }
    }
    rows_ += end - first;

    const auto refOf = [&](std::int64_t r) {
        const qsizetype row = static_cast<qsizetype>(r);
        return RowRef{rowBase + r, rows.no(row), rows.text(row, kTime)};
    };
    for (std::size_t i = 0; i < found.size(); ++i) {
        GroupStatistics& g = groups_[i];
        const Found& f = found[i];
        if (f.first >= 0) {
            g.first = refOf(f.first);
        }
        if (f.last >= 0) {
            g.last = refOf(f.last);
        }
        if (f.minimum >= 0) {
            g.minimumAt = refOf(f.minimum);
        }
        if (f.maximum >= 0) {
            g.maximumAt = refOf(f.maximum);
        }
    }
}

void LogStatistics::clear() {
    groups_.clear();
    rows_ = 0;
}

} // namespace velkor
