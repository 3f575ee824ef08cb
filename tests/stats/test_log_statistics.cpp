// Statistics of a log's rows: grouped by function and base unit, the
// figures of each group against hand-worked cases, a spread that a naive
// variance loses, rows added in pieces as a growing log adds them, and the
// numbers as they read.
#include "record/LogRowBuffer.h"
#include "stats/GroupFigures.h"
#include "stats/LogStatistics.h"
#include "stats/NumberText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

using namespace velkor;

namespace {

struct Row {
    std::optional<qint32> no;
    const char* time;
    const char* function;
    const char* value;
    const char* unit;
    const char* judge;
};

LogRowBuffer storeOf(const std::vector<Row>& rows) {
    LogRowBuffer store;
    for (const Row& r : rows) {
        const QString t[5] = {QString::fromUtf8(r.time), QString::fromUtf8(r.function),
                              QString::fromUtf8(r.value), QString::fromUtf8(r.unit),
                              QString::fromUtf8(r.judge)};
        store.append(r.no, LogRowBuffer::Texts{t[0], t[1], t[2], t[3], t[4]});
    }
    return store;
}

struct Expected {
    const char* function;
    const char* unit;
    std::int64_t count;
    std::int64_t overloads;
    std::int64_t fails;
    double minimum;
    std::optional<qint32> minimumNo;
    double maximum;
    std::optional<qint32> maximumNo;
    double mean;
    std::optional<double> deviation;
    const char* first; // time of the group's first and last row
    const char* last;
};

struct StatisticsCase {
    const char* name;
    std::vector<Row> rows;
    std::vector<Expected> groups;
};

class Statistics : public ::testing::TestWithParam<StatisticsCase> {};

TEST_P(Statistics, GroupsAndFiguresAreThoseWorkedByHand) {
    const StatisticsCase& c = GetParam();
    const LogRowBuffer store = storeOf(c.rows);
    LogStatistics s;
    s.addRows(store, 0, store.rowCount());
    EXPECT_EQ(s.rows(), static_cast<std::int64_t>(c.rows.size()));
    ASSERT_EQ(s.groups().size(), c.groups.size());
    for (std::size_t i = 0; i < c.groups.size(); ++i) {
        const Expected& e = c.groups[i];
        const GroupStatistics& g = s.groups()[i];
        SCOPED_TRACE(e.function);
        EXPECT_EQ(g.function, QString::fromUtf8(e.function));
        EXPECT_EQ(g.unit, QString::fromUtf8(e.unit));
        EXPECT_EQ(g.count(), e.count);
        EXPECT_EQ(g.overloads, e.overloads);
        EXPECT_EQ(g.rows, e.count + e.overloads);
        EXPECT_EQ(g.fails, e.fails);
        EXPECT_EQ(g.first.time, QString::fromUtf8(e.first));
        EXPECT_EQ(g.last.time, QString::fromUtf8(e.last));
        if (e.count == 0) {
            EXPECT_EQ(g.minimumAt.row, -1);
            EXPECT_FALSE(g.values.standardDeviation());
            continue;
        }
        EXPECT_DOUBLE_EQ(g.minimum, e.minimum);
        EXPECT_EQ(g.minimumAt.no, e.minimumNo);
        EXPECT_DOUBLE_EQ(g.maximum, e.maximum);
        EXPECT_EQ(g.maximumAt.no, e.maximumNo);
        EXPECT_NEAR(g.values.mean(), e.mean, 1e-12 * std::max(1.0, std::fabs(e.mean)));
        ASSERT_EQ(g.values.standardDeviation().has_value(), e.deviation.has_value());
        if (e.deviation) {
            EXPECT_NEAR(*g.values.standardDeviation(), *e.deviation, 1e-9 * (1 + *e.deviation));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Statistics,
    ::testing::Values(StatisticsCase{"one_row",
                                     {{1, "09:00:00", "DC", "012.3", "V", "pass"}},
                                     {{"DC", "V", 1, 0, 0, 12.3, 1, 12.3, 1, 12.3, std::nullopt,
                                       "09:00:00", "09:00:00"}}},
                      // The same reading again and again: no spread at all, exactly.
                      StatisticsCase{"identical_rows",
                                     {{1, "09:00:00", "OHM", "4.700", "k*", "pass"},
                                      {2, "09:00:01", "OHM", "4.700", "k*", "pass"},
                                      {3, "09:00:02", "OHM", "4.700", "k*", "pass"},
                                      {4, "09:00:03", "OHM", "4.700", "k*", "pass"}},
                                     {{"OHM", "Ω", 4, 0, 0, 4700, 1, 4700, 1, 4700, 0.0, "09:00:00",
                                       "09:00:03"}}},
                      // mV and V are one quantity in volts; AC is another function; ohms
                      // another unit.
                      StatisticsCase{"mixed_units",
                                     {{1, "10:00:00", "DC", "123.4", "mV", "pass"},
                                      {2, "10:00:01", "OHM", "4.700", "k*", "pass"},
                                      {3, "10:00:02", "DC", "0.500", "V", "Fail"},
                                      {4, "10:00:03", "AC", "229.8", "V", "pass"},
                                      {5, "10:00:04", "OHM", "1.000", "M*", "pass"}},
                                     {{"DC", "V", 2, 0, 1, 0.1234, 1, 0.5, 3, 0.3117,
                                       0.26629641379485, "10:00:00", "10:00:02"},
                                      {"OHM", "Ω", 2, 0, 0, 4700, 2, 1e6, 5, 502350,
                                       703783.37931497, "10:00:01", "10:00:04"},
                                      {"AC", "V", 1, 0, 0, 229.8, 4, 229.8, 4, 229.8, std::nullopt,
                                       "10:00:03", "10:00:03"}}},
                      // Overloads count apart and stay out of the figures, but their rows
                      // are the group's first and last, and they fail.
                      StatisticsCase{"overloads",
                                     {{1, "11:00:00", "DC", "0L", "V", "Fail"},
                                      {2, "11:00:01", "DC", "-1.234", "V", "pass"},
                                      {3, "11:00:02", "DC", "0L", "V", "Fail"},
                                      {4, "11:00:03", "OHM", "0L", "M*", "Fail"}},
                                     {{"DC", "V", 1, 2, 2, -1.234, 2, -1.234, 2, -1.234,
                                       std::nullopt, "11:00:00", "11:00:02"},
                                      {"OHM", "Ω", 0, 1, 1, 0, std::nullopt, 0, std::nullopt, 0,
                                       std::nullopt, "11:00:03", "11:00:03"}}},
                      // The first row with the extreme value is the one named; rows from a
                      // file may have no number and spell the verdict otherwise.
                      StatisticsCase{"ties_and_file_rows",
                                     {{std::nullopt, "12:00:00", "DC", "5", "V", "FAIL"},
                                      {7, "12:00:01", "DC", "3", "V", "pass"},
                                      {8, "12:00:02", "DC", "3", "V", "fail"},
                                      {9, "12:00:03", "DC", "9", "V", "pass"},
                                      {10, "12:00:04", "DC", "9", "V", "pass"}},
                                     {{"DC", "V", 5, 0, 2, 3, 7, 9, 9, 5.8, 3.03315017762062,
                                       "12:00:00", "12:00:04"}}},
                      // A unit the meter does not know has no base unit to go to.
                      StatisticsCase{"foreign_unit",
                                     {{1, "13:00:00", "X", "1.5", "yard", "pass"},
                                      {2, "13:00:01", "DC", "abc", "V", "Fail"}},
                                     {{"X", "yard", 0, 1, 0, 0, std::nullopt, 0, std::nullopt, 0,
                                       std::nullopt, "13:00:00", "13:00:00"},
                                      {"DC", "V", 0, 1, 1, 0, std::nullopt, 0, std::nullopt, 0,
                                       std::nullopt, "13:00:01", "13:00:01"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A spread of a few volts on top of a gigavolt: the sum of squares minus
// the squared sum has nothing left of it, the running method keeps it.
TEST(StatisticsPrecision, ASmallSpreadOnALargeValueKeepsItsDigits) {
    const LogRowBuffer store = storeOf({{1, "t", "DC", "1000000004", "V", "pass"},
                                        {2, "t", "DC", "1000000007", "V", "pass"},
                                        {3, "t", "DC", "1000000013", "V", "pass"},
                                        {4, "t", "DC", "1000000016", "V", "pass"}});
    LogStatistics s;
    s.addRows(store, 0, store.rowCount());
    ASSERT_EQ(s.groups().size(), 1u);
    const GroupStatistics& g = s.groups()[0];
    EXPECT_DOUBLE_EQ(g.values.mean(), 1000000010.0);
    EXPECT_NEAR(*g.values.standardDeviation(), std::sqrt(30.0), 1e-9);

    // The naive formula on the same values, to show what the case guards.
    double sum = 0, squares = 0;
    for (const double x : {1000000004.0, 1000000007.0, 1000000013.0, 1000000016.0}) {
        sum += x;
        squares += x * x;
    }
    const double naive = (squares - sum * sum / 4) / 3;
    EXPECT_GT(std::fabs(naive - 30.0), 1.0);
}

// A growing log adds its new rows; a command-line run lets go of its kept
// rows now and then and numbers on (rowBase). Either way the figures are
// those of the whole log at once.
TEST(StatisticsPieces, RowsAddedInPiecesGiveTheFiguresOfTheWhole) {
    std::vector<Row> rows;
    static const char* values[] = {"1.502", "0L", "12.07", "-4.815", "123.4", "1.502", "0L"};
    static const char* units[] = {"V", "V", "V", "V", "mV", "V", "k*"};
    static const char* functions[] = {"DC", "DC", "DC", "DC", "DC", "AC", "OHM"};
    static const char* times[] = {"00:00:01", "00:00:02", "00:00:03", "00:00:04"};
    for (int i = 0; i < 40; ++i) {
        const int k = (i * 5) % 7;
        rows.push_back(
            {i + 1, times[i % 4], functions[k], values[k], units[k], i % 3 ? "pass" : "Fail"});
    }
    const LogRowBuffer whole = storeOf(rows);
    LogStatistics all;
    all.addRows(whole, 0, whole.rowCount());

    LogStatistics grown; // the same store, a few rows at a time
    for (std::int64_t first = 0; first < whole.rowCount(); first += 3) {
        grown.addRows(whole, first, first + 3);
    }
    LogStatistics kept; // stores of 6 rows, each after the last
    for (std::size_t first = 0; first < rows.size(); first += 6) {
        const std::vector<Row> part(rows.begin() + long(first),
                                    rows.begin() + long(std::min(first + 6, rows.size())));
        const LogRowBuffer store = storeOf(part);
        for (std::int64_t r = 0; r < store.rowCount(); ++r) {
            kept.addRows(store, r, r + 1, std::int64_t(first));
        }
    }
    for (const LogStatistics* other : {&grown, &kept}) {
        ASSERT_EQ(other->rows(), all.rows());
        ASSERT_EQ(other->groups().size(), all.groups().size());
        for (std::size_t i = 0; i < all.groups().size(); ++i) {
            const GroupStatistics& a = all.groups()[i];
            const GroupStatistics& b = other->groups()[i];
            EXPECT_EQ(b.function, a.function);
            EXPECT_EQ(b.unit, a.unit);
            EXPECT_EQ(b.rows, a.rows);
            EXPECT_EQ(b.overloads, a.overloads);
            EXPECT_EQ(b.fails, a.fails);
            EXPECT_EQ(b.minimumAt, a.minimumAt);
            EXPECT_EQ(b.maximumAt, a.maximumAt);
            EXPECT_EQ(b.first, a.first);
            EXPECT_EQ(b.last, a.last);
            EXPECT_DOUBLE_EQ(b.values.mean(), a.values.mean());
            EXPECT_EQ(figureTexts(b), figureTexts(a));
        }
    }
    // The rows are named by their place in the whole log.
    EXPECT_EQ(all.groups()[0].first.row, 0);
    EXPECT_EQ(all.groups()[0].last.row, kept.groups()[0].last.row);
    EXPECT_GT(all.groups()[0].last.row, 30);
}

TEST(StatisticsFigures, TextsOfAGroupInTheirOrder) {
    const LogRowBuffer store = storeOf({{1, "09:00:00", "DC", "123.4", "mV", "pass"},
                                        {2, "09:00:01", "DC", "0L", "V", "Fail"},
                                        {3, "09:00:02", "DC", "0.200", "V", "pass"}});
    LogStatistics s;
    s.addRows(store, 0, store.rowCount());
    const auto t = figureTexts(s.groups()[0]);
    const std::array<const char*, kFigureCount> want = {
        "2", "1",        "1",      "0.1234",    "1",        "09:00:00", "0.2",
        "3", "09:00:02", "0.1617", "0.0541644", "09:00:00", "09:00:02"};
    for (int i = 0; i < kFigureCount; ++i) {
        EXPECT_EQ(t[std::size_t(i)], QString::fromLatin1(want[std::size_t(i)])) << i;
    }
}

TEST(StatisticsNumbers, ReadInPlainDecimalNotation) {
    const std::pair<double, const char*> exact[] = {
        {0.1234, "0.1234"},         {4700, "4700"},
        {4.7e-9, "0.0000000047"},   {-0.0, "0"},
        {-1.234, "-1.234"},         {1e21, "1000000000000000000000"},
        {1000000010, "1000000010"}, {NAN, "nan"},
        {-INFINITY, "-inf"}};
    for (const auto& [v, text] : exact) {
        EXPECT_EQ(exactNumberText(v), QString::fromLatin1(text)) << text;
    }
    const std::pair<double, const char*> rounded[] = {{12.3333333333, "12.3333"},
                                                      {0.0516397779, "0.0516398"},
                                                      {12000000, "12000000"},
                                                      {9.9999999, "10"},
                                                      {-1.23456789, "-1.23457"},
                                                      {0, "0"},
                                                      {0.000012345678, "0.0000123457"},
                                                      {-0.0000001, "-0.0000001"},
                                                      {INFINITY, "inf"}};
    for (const auto& [v, text] : rounded) {
        EXPECT_EQ(roundedNumberText(v), QString::fromLatin1(text)) << text;
    }
}

} // namespace
