// The meter's unit texts: their readable form, their power of ten, and the
// displayed value moved to the base unit as exact decimal text.
#include "meter/UnitTable.h"

#include <gtest/gtest.h>

using namespace velkor;

namespace {

struct UnitCase {
    const char* code; // UTF-8
    const char* readable;
    const char* base;
    int exponent;
};

class UnitTable : public ::testing::TestWithParam<UnitCase> {};

TEST_P(UnitTable, ReadsAndScalesEveryUnitTheDecoderWrites) {
    const UnitCase& c = GetParam();
    const auto info = unitInfo(QString::fromUtf8(c.code));
    ASSERT_TRUE(info.has_value()) << c.code;
    EXPECT_EQ(info->readable, QString::fromUtf8(c.readable));
    EXPECT_EQ(info->base, QString::fromUtf8(c.base));
    EXPECT_EQ(info->exponent, c.exponent);
    EXPECT_EQ(readableUnit(QString::fromUtf8(c.code)), QString::fromUtf8(c.readable));
}

INSTANTIATE_TEST_SUITE_P(
    Units, UnitTable,
    ::testing::Values(
        UnitCase{"V", "V", "V", 0}, UnitCase{"mV", "mV", "V", -3}, UnitCase{"uV", "µV", "V", -6},
        UnitCase{"nV", "nV", "V", -9}, UnitCase{"A", "A", "A", 0}, UnitCase{"mA", "mA", "A", -3},
        UnitCase{"uA", "µA", "A", -6}, UnitCase{"nA", "nA", "A", -9}, UnitCase{"*", "Ω", "Ω", 0},
        UnitCase{"k*", "kΩ", "Ω", 3}, UnitCase{"M*", "MΩ", "Ω", 6}, UnitCase{"F", "F", "F", 0},
        UnitCase{"mF", "mF", "F", -3}, UnitCase{"uF", "µF", "F", -6}, UnitCase{"nF", "nF", "F", -9},
        UnitCase{"#", "°C", "°C", 0}, UnitCase{"?", "°F", "°F", 0}, UnitCase{"Hz", "Hz", "Hz", 0},
        UnitCase{"kHz", "kHz", "Hz", 3}, UnitCase{"MHz", "MHz", "Hz", 6},
        UnitCase{"%", "%", "%", 0}));

TEST(UnitTableReadable, ReadableSpellingsFromOtherFilesAreTakenToo) {
    const std::pair<const char*, const char*> cases[] = {
        {"Ω", "Ω"},   {"kΩ", "kΩ"}, {"MΩ", "MΩ"}, {"Ω", "Ω"},   {"µF", "µF"},
        {"μA", "µA"}, {"°C", "°C"}, {"℃", "°C"},  {"°F", "°F"}, {"℉", "°F"}};
    for (const auto& [text, readable] : cases) {
        const auto info = unitInfo(QString::fromUtf8(text));
        ASSERT_TRUE(info.has_value()) << text;
        EXPECT_EQ(info->readable, QString::fromUtf8(readable)) << text;
    }
    EXPECT_EQ(baseUnitValueText(QStringLiteral("1234.5"), QStringLiteral("kΩ")),
              QStringLiteral("1234500"));
}

TEST(UnitTableUnknown, ForeignTextsHaveNoFactorAndReadWithTheirSymbols) {
    for (const char* text : {"", "x", "k#", "m%", "u?", "k°C", "VV", "kv", "113", "°"}) {
        EXPECT_FALSE(unitInfo(QString::fromUtf8(text)).has_value()) << text;
    }
    EXPECT_EQ(readableUnit(QStringLiteral("k#")), QStringLiteral("k°C"));
    EXPECT_EQ(readableUnit(QStringLiteral("")), QString());
    EXPECT_EQ(readableUnit(QStringLiteral("113")), QStringLiteral("113"));
}

struct ValueCase {
    const char* value;
    const char* unit;
    const char* base; // "" when there is none
};

class BaseUnitValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(BaseUnitValue, IsTheExactDecimalInTheBaseUnit) {
    const ValueCase& c = GetParam();
    const QString value = QString::fromUtf8(c.value);
    const QString unit = QString::fromUtf8(c.unit);
    EXPECT_EQ(baseUnitValueText(value, unit), QString::fromUtf8(c.base));
    const auto number = baseUnitValue(value, unit);
    if (*c.base == '\0') {
        EXPECT_FALSE(number.has_value());
    } else {
        ASSERT_TRUE(number.has_value());
        EXPECT_EQ(*number, std::stod(c.base)) << "the nearest double to the decimal";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, BaseUnitValue,
    ::testing::Values(ValueCase{"123.4", "mV", "0.1234"}, ValueCase{"012.3", "V", "12.3"},
                      ValueCase{"012,3", "V", "12.3"}, ValueCase{"-0.456", "mV", "-0.000456"},
                      ValueCase{"4.700", "k*", "4700"}, ValueCase{"1.234", "M*", "1234000"},
                      ValueCase{"0.001", "nF", "0.000000000001"},
                      ValueCase{"22.00", "uF", "0.000022"}, ValueCase{"-000.0", "V", "0"},
                      ValueCase{"0000", "mA", "0"}, ValueCase{"25.0", "#", "25"},
                      ValueCase{"-12.5", "?", "-12.5"}, ValueCase{"50.0", "%", "50"},
                      ValueCase{"9.999", "kHz", "9999"}, ValueCase{".5", "V", "0.5"},
                      ValueCase{"5.", "mV", "0.005"}, ValueCase{" 1.5 ", "V", "1.5"},
                      ValueCase{"+1.5", "A", "1.5"},
                      // No number: an overload, foreign texts, no unit.
                      ValueCase{"0L", "V", ""}, ValueCase{".0L", "mV", ""},
                      ValueCase{"0.L", "k*", ""}, ValueCase{"", "V", ""}, ValueCase{"-", "V", ""},
                      ValueCase{"1.2.3", "V", ""}, ValueCase{"1e3", "V", ""},
                      ValueCase{"12.3", "", ""}, ValueCase{"12.3", "xyz", ""}));

} // namespace
