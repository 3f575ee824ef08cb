#include "pipeline/SessionTestSupport.h"
#include "support/FixedLocaleSource.h"

#include <gtest/gtest.h>

#include <vector>

using namespace velkor;
using velkor::test::SessionFixture;

namespace {

// A reading as the pass leaves it, for the record rules alone.
Reading reading(const char* value, const char* function = "DC", const char* unit = "V",
                const char* range = "AUTO", double scaled = 1.0, const char* judge = "pass") {
    Reading r;
    r.ValueText = QString::fromLatin1(value);
    r.FunctionText = QString::fromLatin1(function);
    r.UnitText = QString::fromLatin1(unit);
    r.RangeModeText = QString::fromLatin1(range);
    r.JudgeText = QString::fromLatin1(judge);
    r.ScaledValue = scaled;
    r.FreshReading = true;
    return r;
}

std::vector<qint32> numbers(const MeasurementTable& t) {
    std::vector<qint32> out;
    for (qsizetype i = 0; i < t.rowCount(); ++i) {
        out.push_back(t.row(i).No.value_or(-1));
    }
    return out;
}

class RecordRules : public ::testing::Test {
protected:
    SessionFixture f;
    MeasurementLog& log = f.log();
    MeasurementTable& table = f.table();
};

// ----- Continuous path ------------------------------------------------------

// The frame of the overview: one row with the number, the time of day, the
// texts of the reading and its judgement; the chart receives the scaled value.
TEST_F(RecordRules, DecodedFrameBecomesARowAndAChartPoint) {
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(9, 5, 3, 250)));
    f.frame("012.3");
    ASSERT_EQ(table.rowCount(), 1);
    const LogRecord row = table.row(0);
    EXPECT_EQ(row.No, 1);
    EXPECT_EQ(row.Time, QStringLiteral("09:05:03"));
    EXPECT_EQ(row.DCAC, QStringLiteral("DC"));
    EXPECT_EQ(row.Value, QStringLiteral("012.3"));
    EXPECT_EQ(row.Unit, QStringLiteral("V"));
    EXPECT_EQ(row.Auto, QStringLiteral("pass"));
    EXPECT_FALSE(row.NVal.has_value());
    EXPECT_EQ(f.chart.pointCount(), 2); // the placeholder and the reading
    EXPECT_DOUBLE_EQ(f.chart.value(1), 12.3);
    EXPECT_EQ(log.PBar2.position, 12);
    EXPECT_EQ(log.PBar2.maximum, 600); // the 600 V range
    EXPECT_EQ(log.NextRecordNo, 2);
    EXPECT_EQ(log.LoggedCount, 1);
    EXPECT_EQ(log.LastLoggedKey, QStringLiteral("012.3DCVAUTO"));
}

TEST_F(RecordRules, BarShowsTheMagnitudeTruncated) {
    for (const auto& [scaled, position] : std::vector<std::pair<double, int>>{
             {-12.7, 12}, {0.999, 0}, {5999.0, 5999}, {-0.5, 0}, {1e12, INT_MAX}}) {
        log.INDataToTable(reading("x", "DC", "V", "AUTO", scaled));
        EXPECT_EQ(log.PBar2.position, position) << scaled;
    }
}

struct RepeatCase {
    const char* name;
    bool repeatSet;
    std::vector<Reading> readings;
    std::vector<qint32> logged; // No of the rows
    qint32 nextRecordNo;
};

class RepeatTable : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatTable, NumbersCountEveryOfferedReading) {
    const RepeatCase& c = GetParam();
    SessionFixture f;
    f.log().RepeatSet = c.repeatSet;
    for (const Reading& r : c.readings) {
        f.log().INDataToTable(r);
    }
    EXPECT_EQ(numbers(f.table()), c.logged);
    EXPECT_EQ(f.log().NextRecordNo, c.nextRecordNo);
    EXPECT_EQ(f.log().LoggedCount, static_cast<qint32>(c.logged.size()));
    EXPECT_EQ(f.chart.pointCount(), 1 + static_cast<long long>(c.logged.size()));
}

const Reading A = reading("012.3");
const Reading B = reading("012.4");

INSTANTIATE_TEST_SUITE_P(
    Record, RepeatTable,
    ::testing::Values(
        RepeatCase{"RepeatsKept", true, {A, A, A}, {1, 2, 3}, 4},
        RepeatCase{"AABA", false, {A, A, B, A}, {1, 3, 4}, 5},
        RepeatCase{"RangeModeDiffers",
                   false,
                   {reading("1", "DC", "V", "AUTO"), reading("1", "DC", "V", "MANU")},
                   {1, 2},
                   3},
        RepeatCase{"JudgementAndScaledValueDoNotCount",
                   false,
                   {reading("1", "DC", "V", "AUTO", 1.0, "pass"),
                    reading("1", "DC", "V", "AUTO", 2.0, "Fail")},
                   {1},
                   3},
        RepeatCase{"KeyIsTheTextsRunTogether",
                   false,
                   {reading("1", "DC", "mV"), reading("1", "DCm", "V")},
                   {1},
                   3},
        RepeatCase{
            "UnitDiffers", false, {reading("1", "DC", "V"), reading("1", "DC", "mV")}, {1, 2}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordRules, SizeLimitStopsLoggingAndNumbering) {
    log.N10001Click();
    for (int i = 0; i < 1000; ++i) {
        log.INDataToTable(reading("1", "DC", "V", "AUTO", 3.0));
    }
    ASSERT_EQ(table.rowCount(), 1000);
    log.INDataToTable(reading("2", "DC", "V", "AUTO", 55.0));
    EXPECT_EQ(table.rowCount(), 1000);
    EXPECT_EQ(log.NextRecordNo, 1001);
    EXPECT_EQ(log.LoggedCount, 1000);
    EXPECT_EQ(f.chart.pointCount(), 1001);
    EXPECT_EQ(log.PBar2.position, 3);
    // A larger limit lets logging go on.
    log.N50001Click();
    log.INDataToTable(reading("2"));
    EXPECT_EQ(table.rowCount(), 1001);
    EXPECT_EQ(table.row(1000).No, 1001);
}

TEST_F(RecordRules, AReadingKeptOutByTheLimitIsToldToTheListener) {
    int told = 0;
    log.onLimitReached = [&] { ++told; };
    log.MaxRecords = 2;
    log.INDataToTable(reading("1"));
    log.INDataToTable(reading("2"));
    EXPECT_EQ(told, 0) << "the log is full, but nothing was kept out yet";
    log.INDataToTable(reading("3"));
    log.INDataToTable(reading("4"));
    EXPECT_EQ(told, 2);
    // The sampling path tells a fresh reading it cannot log, not an idle tick.
    log.RecordSI = true;
    Reading fresh = reading("5");
    log.Timer3Timer(fresh);
    EXPECT_EQ(told, 3);
    EXPECT_TRUE(fresh.FreshReading);
    fresh.FreshReading = false;
    log.Timer3Timer(fresh);
    EXPECT_EQ(told, 3);
    EXPECT_EQ(table.rowCount(), 2);
}

TEST_F(RecordRules, SmallerLimitKeepsTheRows) {
    log.N50001Click();
    for (int i = 0; i < 5000; ++i) {
        log.INDataToTable(reading("1"));
    }
    log.N10001Click();
    log.INDataToTable(reading("1"));
    EXPECT_EQ(table.rowCount(), 5000);
    EXPECT_EQ(log.LoggedCount, 5000);
}

TEST_F(RecordRules, MenuItemsSetTheLimitAndCheckThemselves) {
    EXPECT_EQ(log.MaxRecords, 10000);
    EXPECT_EQ(log.checkedLimit, RecordLimitItem::N100001);
    const std::vector<std::tuple<void (MeasurementLog::*)(), RecordLimitItem, int>> items = {
        {&MeasurementLog::N10001Click, RecordLimitItem::N10001, 1000},
        {&MeasurementLog::N50001Click, RecordLimitItem::N50001, 5000},
        {&MeasurementLog::N100001Click, RecordLimitItem::N100001, 10000},
        {&MeasurementLog::N500001Click, RecordLimitItem::N500001, 50000},
        {&MeasurementLog::N1000001Click, RecordLimitItem::N1000001, 100000},
        {&MeasurementLog::limitessClick, RecordLimitItem::limitess, 10000000},
    };
    for (const auto& [click, item, limit] : items) {
        (f.log().*click)();
        EXPECT_EQ(log.MaxRecords, limit);
        EXPECT_EQ(log.checkedLimit, item);
    }
}

TEST_F(RecordRules, TextsAreCutToTwentyCharacters) {
    log.INDataToTable(reading("123456789012345678901234", "FunctionLongerThan20x", "V"));
    const LogRecord row = table.row(0);
    EXPECT_EQ(row.Value, QStringLiteral("12345678901234567890"));
    EXPECT_EQ(row.DCAC, QStringLiteral("FunctionLongerThan20"));
}

// ----- Sampling path --------------------------------------------------------

TEST_F(RecordRules, SamplingFramePathEnablesTheTimerOnly) {
    log.RecordSI = true;
    f.frame("012.3");
    EXPECT_TRUE(f.Timer3.enabled());
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_TRUE(f.reading().FreshReading);
    // Further frames do not restart the countdown.
    f.frame("012.4");
    EXPECT_EQ(f.Timer3.countdowns, 1);
    // Back to continuous: the next frame disables the timer and logs.
    log.RecordSI = false;
    f.frame("012.5");
    EXPECT_FALSE(f.Timer3.enabled());
    EXPECT_EQ(table.rowCount(), 1);
}

// Frames twice a tick: one row a tick with the latest reading. A tick with
// no frame since the last one logs nothing and keeps the number.
TEST_F(RecordRules, SamplingTicksLogTheLatestFreshReading) {
    f.locale = FixedLocaleSource(QStringLiteral("."), QStringLiteral("."),
                                 QLocale(QStringLiteral("en_US")));
    log.RecordSI = true;
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(21, 5, 3)));
    f.frame("001.0");
    f.frame("002.0");
    f.session.Timer3Timer();
    f.frame("003.0");
    f.frame("004.0");
    f.clock.advanceMs(1000);
    f.session.Timer3Timer();
    f.clock.advanceMs(1000);
    f.session.Timer3Timer(); // no frame since the last tick
    f.frame("005.0");
    f.clock.advanceMs(1000);
    f.session.Timer3Timer();

    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(numbers(table), (std::vector<qint32>{1, 2, 3}));
    EXPECT_EQ(table.row(0).Value, QStringLiteral("002.0"));
    EXPECT_EQ(table.row(1).Value, QStringLiteral("004.0"));
    EXPECT_EQ(table.row(2).Value, QStringLiteral("005.0"));
    EXPECT_EQ(table.row(0).Time, QStringLiteral("9:05:03 PM")); // the locale's own format
    EXPECT_EQ(table.row(2).Time, QStringLiteral("9:05:06 PM"));
    EXPECT_FALSE(f.reading().FreshReading);
    EXPECT_EQ(f.chart.pointCount(), 4);
}

TEST_F(RecordRules, SamplingDropsRepeatsButCountsThem) {
    log.RecordSI = true;
    log.RepeatSet = false;
    for (const char* v : {"001.0", "001.0", "002.0"}) {
        f.frame(v);
        f.session.Timer3Timer();
    }
    EXPECT_EQ(numbers(table), (std::vector<qint32>{1, 3}));
}

TEST_F(RecordRules, TickAfterSwitchingBackOnlyClearsTheFreshFlag) {
    log.RecordSI = true;
    f.frame("001.0");
    log.RecordSI = false; // unchecked between the frame and the tick
    f.session.Timer3Timer();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(log.NextRecordNo, 1);
    EXPECT_FALSE(f.reading().FreshReading);
}

TEST_F(RecordRules, FullLogKeepsTheFreshFlag) {
    log.N10001Click();
    log.LoggedCount = 1000;
    log.RecordSI = true;
    f.frame("001.0");
    f.session.Timer3Timer();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_TRUE(f.reading().FreshReading);
}

struct IntervalCase {
    const char* typed;
    const char* text; // the edit's text afterwards
    int intervalMs;   // Timer3's interval afterwards (from 5000)
};

const IntervalCase kIntervals[] = {
    {"1", "1", 1000},
    {"0", "1", 1000},
    {"00", "1", 1000},
    {"60", "60", 60000},
    {"2147483", "2147483", 2147483000},
    {"2147484", "2147484", 5000}, // milliseconds beyond the timer: ignored
    {"99999999999", "99999999999", 5000},
    {"-5", "-5", 5000}, // negative (pasted): ignored
    {"", "", 5000},
    {"1a", "1a", 5000},
    {"1.5", "1.5", 5000},
};

class IntervalTable : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalTable, WholeSecondsSetTheSamplingInterval) {
    const IntervalCase& c = GetParam();
    SessionFixture f;
    f.log().RecordSITimeChange(QStringLiteral("5"));
    f.log().RecordSITimeChange(QString::fromLatin1(c.typed));
    EXPECT_EQ(f.log().RecordSITime(), QString::fromLatin1(c.text));
    EXPECT_EQ(f.Timer3.interval(), c.intervalMs);
}
INSTANTIATE_TEST_SUITE_P(Record, IntervalTable, ::testing::ValuesIn(kIntervals));

TEST_F(RecordRules, SameIntervalDoesNotRestartTheCountdown) {
    f.Timer3.setEnabled(true);
    log.RecordSITimeChange(QStringLiteral("1"));
    EXPECT_EQ(f.Timer3.countdowns, 1);
    log.RecordSITimeChange(QStringLiteral("2"));
    EXPECT_EQ(f.Timer3.countdowns, 2);
}

// ----- New ------------------------------------------------------------------

TEST_F(RecordRules, NewAnsweredNoChangesNothing) {
    f.frame("001.0");
    f.frame("002.0");
    f.boxes.answers = {MessageBoxes::Answer::No};
    log.RecordNewClick(f.boxes);
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text, QStringLiteral("データをクリアしますか？"));
    EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_EQ(f.boxes.shown[0].buttons, MessageBoxes::Buttons::YesNo);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(log.NextRecordNo, 3);
    EXPECT_EQ(f.chart.pointCount(), 3);
}

TEST_F(RecordRules, NewAnsweredYesStartsAgainButKeepsTheLastKey) {
    log.RepeatSet = false;
    f.frame("001.0");
    f.frame("002.0");
    f.boxes.answers = {MessageBoxes::Answer::Yes};
    log.RecordNewClick(f.boxes);
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(log.NextRecordNo, 1);
    EXPECT_EQ(log.LoggedCount, 0);
    EXPECT_EQ(f.chart.pointCount(), 0);
    EXPECT_EQ(f.chartCtrl.CurPage(), 1);
    f.frame("002.0"); // the last reading before New: dropped
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(log.NextRecordNo, 2);
    f.frame("003.0");
    EXPECT_EQ(numbers(table), (std::vector<qint32>{2}));
}

TEST_F(RecordRules, NewOnAnEmptyTableResetsCountersAndChart) {
    log.NextRecordNo = 7;
    f.boxes.answers = {MessageBoxes::Answer::Yes};
    log.RecordNewClick(f.boxes);
    EXPECT_EQ(log.NextRecordNo, 1);
    EXPECT_EQ(f.chart.pointCount(), 0); // the placeholder is gone too
}

} // namespace
