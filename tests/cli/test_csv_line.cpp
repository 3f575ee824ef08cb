// The CSV line builder of velkor-cli: quoting, UTF-8, numbers, and a line
// reused from reading to reading; and the reading line it builds for a
// decoded frame, with a separator beyond ASCII.

#include "cli/CsvLine.h"
#include "cli/ReadingCsv.h"
#include "decode/FrameDecoder.h"
#include "decode/PassOwner.h"
#include "sim/FrameEncoder.h"
#include "support/FixedLocaleSource.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace velkor;
using velkor::cli::CsvLine;

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
    };
    CsvLine line;
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        line.clear();
        line.text(c.text);
        EXPECT_EQ(line.line(), c.csv);
        // The same road as the text the window and the log use.
        EXPECT_EQ(QString::fromStdString(std::string(line.line())), csvField(c.text));
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
    // A new line starts empty, with no separator in front.
    line.clear();
    line.text(QStringLiteral("x")).empty();
    EXPECT_EQ(line.line(), "x,");
}

class NoOwner final : public PassOwner {
    void passStarting(const QString&) override {}
    void handOff(Reading&, const PassOutcome&) override {}
};

std::string hexOf(const std::array<std::uint8_t, 14>& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < 13; ++i) {
        s += kHex[bytes[i] >> 4];
        s += kHex[bytes[i] & 0xF];
    }
    return s;
}

TEST(ReadingCsv, ALineOfADecodedFrameWithASeparatorBeyondAscii) {
    FixedLocaleSource locale(QStringLiteral("\u066B")); // the Arabic decimal separator
    NoOwner owner;
    FrameDecoder d(locale, owner);
    d.FrameHex =
        hexOf(meterFrame("-1.234", {status1::Auto | status1::DC, 0, 0, status4::Volt}).bytes());
    d.LcdDisplayHALVIN(1);
    CsvLine line;
    buildReadingCsvLine(line, d);
    EXPECT_EQ(line.line(), "-1\xD9\xAB"
                           "234,DC,V,AUTO,-1234,-1.234,1,LcdDc1 LcdV LcdFH LcdAuto LcdP1");
    EXPECT_EQ(readingCsvLine(d),
              QString::fromUtf8(line.line().data(), static_cast<qsizetype>(line.line().size())));
}

} // namespace
