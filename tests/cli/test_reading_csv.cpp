// The line velkor-cli prints for a decoded frame, with a separator beyond
// ASCII.

#include "cli/ReadingCsv.h"
#include "decode/FrameDecoder.h"
#include "decode/PassOwner.h"
#include "logfiles/CsvLine.h"
#include "sim/FrameEncoder.h"
#include "support/FixedLocaleSource.h"

#include <gtest/gtest.h>

#include <string>

using namespace velkor;

namespace {

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
