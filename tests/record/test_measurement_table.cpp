#include "record/LogTestSupport.h"
#include "record/MeasurementTable.h"
#include "record/TimeTexts.h"

#include <gtest/gtest.h>

#include <QLocale>

using namespace velkor;
using velkor::test::bufferOf;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

LogRecord rec(std::optional<qint32> no, const char* time, const char* dcac, const char* value,
              const char* unit, const char* judge, std::optional<qint32> nval = std::nullopt) {
    return LogRecord{no, u(time), u(dcac), u(value), u(unit), u(judge), nval};
}

// Rows of every kind the files can bring, and what the table holds of them.
struct RoundTripCase {
    const char* name;
    LogRecord in;
    LogRecord out;
};

const RoundTripCase kRoundTrips[] = {
    {"Logged", rec(1, "09:05:03", "DC", "012.3", "V", "pass"),
     rec(1, "09:05:03", "DC", "012.3", "V", "pass")},
    {"NullNumberAndEmptyTexts", rec(std::nullopt, "", "", "", "", ""),
     rec(std::nullopt, "", "", "", "", "")},
    {"NValFromAFile", rec(-5, "23:59:59", "AC", "-1.234", "mV", "Fail", 42),
     rec(-5, "23:59:59", "AC", "-1.234", "mV", "Fail", 42)},
    {"TimeInAnotherForm", rec(3, "9:05:03 PM", "OHM", "0L", "M*", "Fail"),
     rec(3, "9:05:03 PM", "OHM", "0L", "M*", "Fail")},
    {"NotATimeOfDay", rec(4, "24:00:00", "DC", "1", "V", "pass"),
     rec(4, "24:00:00", "DC", "1", "V", "pass")},
    {"LongTextsCut",
     rec(5, "2026-03-01T09:05:03.250+01:00", "DutyCycleWithAVeryLongName", "1234567890123456789012",
         "unit unit unit unit unit", "pass pass pass pass pass"),
     rec(5, "2026-03-01T09:05:03.", "DutyCycleWithAVeryLo", "12345678901234567890",
         "unit unit unit unit ", "pass pass pass pass ")},
    {"ValueOfSevenAndEightCharacters", rec(6, "00:00:00", "DC", "-12.345", "V", "pass"),
     rec(6, "00:00:00", "DC", "-12.345", "V", "pass")},
    {"ValueBeyondLatin1", rec(7, "12:00:00", "DC", "-1\u066B234", "\u00B5V", "pass"),
     rec(7, "12:00:00", "DC", "-1\u066B234", "\u00B5V", "pass")},
    {"ValueOfEightCharacters", rec(8, "12:00:00", "DC", "-1,234.5", "V", "pass"),
     rec(8, "12:00:00", "DC", "-1,234.5", "V", "pass")},
};

class RoundTripTable : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTable, RowReadsBackAsWrittenCutToTwenty) {
    const RoundTripCase& c = GetParam();
    MeasurementTable t;
    t.appendRows(bufferOf({rec(100, "01:02:03", "DC", "1", "V", "pass"), c.in}));
    ASSERT_EQ(t.rowCount(), 2);
    EXPECT_EQ(t.row(1), c.out);
    EXPECT_EQ(t.row(0), rec(100, "01:02:03", "DC", "1", "V", "pass"));
}
INSTANTIATE_TEST_SUITE_P(Table, RoundTripTable, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MeasurementTable, ManyRowsCrossBlocksAndReplaceDropsTheOldOnes) {
    MeasurementTable t;
    std::vector<LogRecord> rows;
    for (int i = 0; i < 10000; ++i) {
        rows.push_back(rec(i, "10:00:00", i % 2 ? "AC" : "DC", std::to_string(i).c_str(), "V",
                           "pass", i % 1000 == 0 ? std::optional<qint32>(i) : std::nullopt));
    }
    t.appendRows(bufferOf(rows));
    t.appendRows(bufferOf(rows));
    ASSERT_EQ(t.rowCount(), 20000);
    for (int i : {0, 4095, 4096, 9999, 10000, 14096, 19999}) {
        EXPECT_EQ(t.row(i), rows[static_cast<std::size_t>(i % 10000)]) << i;
    }
    t.replaceRows(bufferOf({rec(1, "11:00:00", "DC", "2", "V", "Fail")}));
    ASSERT_EQ(t.rowCount(), 1);
    EXPECT_EQ(t.row(0), rec(1, "11:00:00", "DC", "2", "V", "Fail"));
    t.replaceRows(LogRowBuffer());
    EXPECT_EQ(t.rowCount(), 0);
}

TEST(MeasurementTable, FieldNamesAreLookedUpWithoutCase) {
    const std::vector<std::pair<const char*, int>> names = {
        {"no", 0},   {"TIME", 1}, {"dc/ac", 2}, {"Value", 3}, {"unit", 4},
        {"AUTO", 5}, {"nval", 6}, {"DCAC", -1}, {"", -1}};
    for (const auto& [name, index] : names) {
        EXPECT_EQ(LogTable::fieldIndex(u(name)), index) << name;
    }
}

TEST(MeasurementTable, GridShowsSixColumnsWithTheirTitlesAndAlignment) {
    MeasurementTable t;
    t.appendLogged(7, u("09:05:03"), u("OHM"), u("4.700"), u("k*"), u("pass"));
    t.appendRows(bufferOf({rec(std::nullopt, "x", "TMP", "0023", "#", "Fail")}));
    const QAbstractItemModel& m = t;
    ASSERT_EQ(m.columnCount(), 6);
    ASSERT_EQ(m.rowCount(), 2);
    const char* titles[] = {"No.", "時間", "機能", "数値", "単位", "判定"};
    const int widths[] = {39, 53, 42, 51, 36, 38};
    const Qt::Alignment alignments[] = {Qt::AlignLeft | Qt::AlignVCenter,
                                        Qt::AlignCenter,
                                        Qt::AlignCenter,
                                        Qt::AlignRight | Qt::AlignVCenter,
                                        Qt::AlignRight | Qt::AlignVCenter,
                                        Qt::AlignLeft | Qt::AlignVCenter};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(m.headerData(c, Qt::Horizontal).toString(), u(titles[c]));
        EXPECT_EQ(MeasurementTable::gridColumnWidth(c), widths[c]);
        EXPECT_EQ(m.index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), alignments[c]);
    }
    const char* shown[] = {"7", "09:05:03", "OHM", "4.700", "k\u03A9", "pass"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(m.index(0, c).data().toString(), u(shown[c])) << c;
    }
    EXPECT_EQ(m.index(0, 4).data(MeasurementTable::RawTextRole).toString(), u("k*"));
    EXPECT_EQ(m.index(1, 4).data().toString(), u("\u00B0C"));
    EXPECT_FALSE(m.index(1, 0).data().isValid()); // a null No shows nothing
    EXPECT_FALSE(m.headerData(0, Qt::Vertical).isValid());
    EXPECT_FALSE(m.flags(m.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(MeasurementTable, ViewsHearOfAppendedAndClearedRows) {
    MeasurementTable t;
    std::vector<std::pair<int, int>> inserted;
    int resets = 0;
    QObject::connect(
        &t, &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { inserted.emplace_back(first, last); });
    QObject::connect(&t, &QAbstractItemModel::modelReset, [&] { ++resets; });
    t.appendLogged(1, u("00:00:00"), u("DC"), u("1"), u("V"), u("pass"));
    t.appendRows(bufferOf({rec(2, "", "", "", "", ""), rec(3, "", "", "", "", "")}));
    t.clear();
    EXPECT_EQ(inserted, (std::vector<std::pair<int, int>>{{0, 0}, {1, 2}}));
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(t.rowCount(), 0);
}

// ----- Time texts -----------------------------------------------------------

TEST(TimeTexts, ClockTextAndBack) {
    const std::vector<std::pair<QTime, const char*>> times = {{QTime(0, 0, 0), "00:00:00"},
                                                              {QTime(9, 5, 3, 999), "09:05:03"},
                                                              {QTime(23, 59, 59), "23:59:59"}};
    for (const auto& [time, text] : times) {
        EXPECT_EQ(clockTimeText(time), u(text));
        EXPECT_EQ(clockTimeSeconds(u(text)), time.msecsSinceStartOfDay() / 1000);
    }
    for (const char* other :
         {"24:00:00", "09:60:00", "9:05:03", "09:05:03 ", "09-05-03", "0a:00:00"}) {
        EXPECT_EQ(clockTimeSeconds(u(other)), -1) << other;
    }
}

// The sampling path's time: the locale's separator and hour digits, the
// 24-hour clock, the digits 0-9, never a word form or a day period.
TEST(TimeTexts, NumericFormOfTheLocalesTime) {
    const struct {
        const char* locale;
        const char* format;
        const char* morning; // 09:05:03
        const char* evening; // 21:05:03
    } cases[] = {
        {"ja_JP", "H:mm:ss", "9:05:03", "21:05:03"},
        {"zh_CN", "HH:mm:ss", "09:05:03", "21:05:03"},
        {"zh_TW", "H:mm:ss", "9:05:03", "21:05:03"},
        {"ko_KR", "H:mm:ss", "9:05:03", "21:05:03"},
        {"en_US", "H:mm:ss", "9:05:03", "21:05:03"},
        {"de_DE", "HH:mm:ss", "09:05:03", "21:05:03"},
        {"da_DK", "HH.mm.ss", "09.05.03", "21.05.03"},
        {"fi_FI", "H.mm.ss", "9.05.03", "21.05.03"},
        {"fr_CA", "HH:mm:ss", "09:05:03", "21:05:03"},
        {"nds_DE", "H.mm.ss", "9.05.03", "21.05.03"},
        {"fa_IR", "H:mm:ss", "9:05:03", "21:05:03"},
        {"ar_EG", "H:mm:ss", "9:05:03", "21:05:03"},
        {"C", "HH:mm:ss", "09:05:03", "21:05:03"},
    };
    for (const auto& c : cases) {
        const QLocale locale(u(c.locale));
        EXPECT_EQ(numericTimeFormat(locale), u(c.format)) << c.locale;
        EXPECT_EQ(numericTimeText(QTime(9, 5, 3), locale), u(c.morning)) << c.locale;
        EXPECT_EQ(numericTimeText(QTime(21, 5, 3), locale), u(c.evening)) << c.locale;
    }
}

TEST(TimeTexts, EveryLocaleGetsOneOfTheNumericForms) {
    const QStringList forms = {u("H:mm:ss"), u("HH:mm:ss"), u("H.mm.ss"), u("HH.mm.ss")};
    const auto all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(all.size(), 300);
    for (const QLocale& locale : all) {
        EXPECT_TRUE(forms.contains(numericTimeFormat(locale)))
            << locale.name().toStdString() << ": " << numericTimeFormat(locale).toStdString();
    }
}

TEST(TimeTexts, SamplingTimesAreWrittenInTheLocalesNumericForm) {
    const QTime t(21, 5, 3);
    EXPECT_EQ(numericTimeText(t, QLocale(QStringLiteral("fi_FI"))), u("21.05.03"));
    EXPECT_EQ(numericTimeText(t.addSecs(-43200), QLocale(QStringLiteral("ja_JP"))), u("9:05:03"));
    EXPECT_EQ(clockTimeText(t.addSecs(-43200)), u("09:05:03"));
}

} // namespace
