// The one CSV writer: quoting, UTF-8, numbers, and a line reused from row
// to row.

#include "logfiles/CsvLine.h"

#include <QString>
#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace velkor;

namespace {

struct FieldCase {
    const char* name;
    QString text;
    std::string csv;
};

TEST(CsvLine, TextFieldsAreQuotedOnlyWhenTheyMustBeAndWrittenInUtf8) {
    const FieldCase cases[] = {
        {"plain", QStringLiteral("12.34"), "12.34"},
        {"empty", QString(), ""},
        {"comma", QStringLiteral("1,5"), "\"1,5\""},
        {"quote", QStringLiteral("a\"b"), "\"a\"\"b\""},
        {"line feed", QStringLiteral("a\nb"), "\"a\nb\""},
        {"carriage return", QStringLiteral("a\rb"), "\"a\rb\""},
        {"beyond ASCII", QStringLiteral("1\u066B5"),
         "1\xD9\xAB"
         "5"},
        {"beyond ASCII with a comma", QStringLiteral("\u00B5,V"), "\"\xC2\xB5,V\""},
        {"Japanese", QStringLiteral("判定"), "\xE5\x88\xA4\xE5\xAE\x9A"},
        {"unpaired surrogate", QString(QChar(0xD800)) + QStringLiteral("a"), "\xEF\xBF\xBD" "a"},
    };
    CsvLine line;
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        line.clear();
        line.text(c.text);
        EXPECT_EQ(line.line(), c.csv);
    }
}

TEST(CsvLine, FieldsAreSeparatedAndNumbersFormattedInPlace) {
    CsvLine line;
    line.integer(-6001)
        .shortestDouble(0.001)
        .shortestDouble(-12.5)
        .empty()
        .bytes("LcdDc1 LcdV")
        .bytes("a,b")
        .integer(std::numeric_limits<long long>::min())
        .shortestDouble(0.1 + 0.2);
    EXPECT_EQ(line.line(), "-6001,0.001,-12.5,,LcdDc1 LcdV,\"a,b\",-9223372036854775808,"
                           "0.30000000000000004");
    EXPECT_EQ(line.terminated().back(), '\n');
    line.clear();
    EXPECT_EQ(line.text(QStringLiteral("a")).terminated("\r\n"), "a\r\n");
    // A new line starts empty, with no separator in front.
    line.clear();
    line.text(QStringLiteral("x")).empty();
    EXPECT_EQ(line.line(), "x,");
}

} // namespace
