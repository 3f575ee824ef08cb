#include "decode/DecoderTestSupport.h"
#include "sim/FrameEncoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>

using namespace velkor;
using velkor::test::DecoderFixture;

namespace {

// Hex text of a 13-byte serial frame, spelled out byte by byte.
std::string frame(char sign, const char digits[5], char pointCode, unsigned s1, unsigned s2,
                  unsigned s3, unsigned s4) {
    const unsigned bytes[13] = {static_cast<unsigned char>(sign),
                                static_cast<unsigned char>(digits[0]),
                                static_cast<unsigned char>(digits[1]),
                                static_cast<unsigned char>(digits[2]),
                                static_cast<unsigned char>(digits[3]),
                                0x20,
                                static_cast<unsigned char>(pointCode),
                                s1, s2, s3, s4, 0x00, 0x0D};
    std::string hex;
    char buf[3];
    for (unsigned b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        hex += buf;
    }
    return hex;
}

MarkSet marks(std::initializer_list<Mark> list) {
    MarkSet s;
    for (Mark m : list) {
        s.set(m);
    }
    return s;
}

struct DecodeCase {
    const char* name;
    std::string frameHex;
    const char* valueText;
    const char* functionText;
    const char* unitText;
    const char* rangeMode;
    double countValue;
    double scaledValue;
    int decimalPointPos;
    double axisLimit; // expected vertical axis +-limit after the pass
    MarkSet marks;
};

using M = Mark;

// Status bytes: s1 auto 20 DC 10 AC 08 REL 04 HOLD 02; s2 6v-row 80 MAX 20
// MIN 10 battery 04 nano 02; s3 micro 80 milli 40 kilo 20 mega 10 continuity
// 08 diode 04 percent 02; s4 volt 80 ampere 40 ohm 20 Hz 08 farad 04 C 02 F 01.
const DecodeCase kCases[] = {
    {"overview example: 600 V range", frame('+', "0123", '4', 0x30, 0, 0, 0x80), "012.3", "DC",
     "V", "AUTO", 123, 12.3, 3, 600, marks({M::LcdDc1, M::LcdV, M::LcdAuto, M::LcdP3})},
    {"minus 1.234 V", frame('-', "1234", '1', 0x30, 0, 0, 0x80), "-1.234", "DC", "V", "AUTO",
     -1234, -1.234, 1, 6, marks({M::LcdFH, M::LcdP1, M::LcdAuto, M::LcdDc1, M::LcdV})},
    {"point code 3 lights no point", frame('+', "1234", '3', 0x10, 0, 0, 0x80), "1234", "DC", "V",
     "MANU", 1234, 1234, 0, 1000, marks({M::LcdDc1, M::LcdV})},
    {"diode turns on the volt mark too", frame('+', "0587", '1', 0, 0, 0x04, 0), "0.587", "Diode",
     "V", "MANU", 587, 587, 1, 6000, marks({M::LCDDI, M::LcdV, M::LcdP1})},
    {"positive overload", frame('+', "?000", '0', 0x30, 0, 0, 0x80), "0L", "DC", "V", "AUTO", 6001,
     6001, 0, 1000, marks({M::LcdDc1, M::LcdV, M::LcdAuto})},
    {"negative overload with point 2", frame('-', "?123", '2', 0x30, 0, 0, 0x80), "0.L", "DC", "V",
     "AUTO", -6001, -60.01, 2, 60, marks({M::LcdFH, M::LcdDc1, M::LcdV, M::LcdAuto, M::LcdP2})},
    {"AC and DC give DC, AC rows still apply", frame('+', "1234", '2', 0x18, 0, 0, 0x80), "12.34",
     "DC", "V", "MANU", 1234, 12.34, 2, 60, marks({M::LcdDc1, M::LcdAC, M::LcdV, M::LcdP2})},
    {"diode and continuity give CTN", frame('+', "0012", '0', 0, 0, 0x0C, 0), "0012", "CTN", "V",
     "MANU", 12, 1.2000000000000002, 0, 60, marks({M::LCDDI, M::LCDFm, M::LcdV})},
    {"ohm and continuity give OHM", frame('+', "0012", '4', 0, 0, 0x08, 0x20), "001.2", "OHM", "*",
     "MANU", 12, 1.2000000000000002, 3, 60, marks({M::LCDFm, M::LCDohm, M::LcdP3})},
    {"ohm with AC", frame('+', "2200", '4', 0x08, 0, 0, 0x20), "220.0", "AC", "*", "MANU", 2200,
     220, 3, 600, marks({M::LcdAC, M::LCDohm, M::LcdP3})},
    {"600 ohm range", frame('+', "2200", '4', 0x20, 0, 0, 0x20), "220.0", "OHM", "*", "AUTO", 2200,
     220, 3, 600, marks({M::LCDohm, M::LcdAuto, M::LcdP3})},
    {"kilo-ohm 6k", frame('+', "4700", '1', 0x20, 0, 0x20, 0x20), "4.700", "OHM", "k*", "AUTO",
     4700, 4.7, 1, 6, marks({M::LCDohm, M::LCDk, M::LcdAuto, M::LcdP1})},
    {"mega-ohm 60M", frame('+', "1000", '2', 0x20, 0, 0x10, 0x20), "10.00", "OHM", "M*", "AUTO",
     1000, 10, 2, 60, marks({M::LCDohm, M::LCDM1, M::LcdAuto, M::LcdP2})},
    {"DC microamperes without a point", frame('+', "3456", '0', 0x30, 0, 0x80, 0x40), "3456", "DC",
     "uA", "AUTO", 3456, 3456, 0, 6000,
     marks({M::LcdDc1, M::LCDu, M::LCDA, M::LcdAuto})},
    {"AC milliamperes point 2", frame('+', "1234", '2', 0x28, 0, 0x40, 0x40), "12.34", "AC", "mA",
     "AUTO", 1234, 12.34, 2, 60, marks({M::LcdAC, M::Lcdm, M::LCDA, M::LcdAuto, M::LcdP2})},
    {"DC amperes 10 A", frame('+', "0512", '2', 0x10, 0, 0, 0x40), "05.12", "DC", "A", "MANU", 512,
     5.12, 2, 10, marks({M::LcdDc1, M::LCDA, M::LcdP2})},
    {"DC millivolts", frame('+', "1234", '4', 0x30, 0, 0x40, 0x80), "123.4", "DC", "mV", "AUTO",
     1234, 123.4, 3, 600, marks({M::LcdDc1, M::Lcdm, M::LcdV, M::LcdAuto, M::LcdP3})},
    {"kilohertz point 1", frame('+', "1000", '1', 0x20, 0, 0x20, 0x08), "1.000", "Freq", "Hz",
     "AUTO", 1000, 1, 1, 10, marks({M::LCDHz, M::LCDk, M::LcdAuto, M::LcdP1})},
    {"hertz point 3", frame('+', "5000", '4', 0x20, 0, 0, 0x08), "500.0", "Freq", "Hz", "AUTO",
     5000, 500, 3, 1000, marks({M::LCDHz, M::LcdAuto, M::LcdP3})},
    {"duty cycle", frame('+', "0500", '4', 0, 0, 0x02, 0), "050.0", "DutyCycle", "%", "MANU", 500,
     50, 3, 100, marks({M::LCDBF, M::LcdP3})},
    {"nanofarad", frame('+', "4720", '2', 0x20, 0x02, 0, 0x04), "47.20", "CAP", "nF", "AUTO", 4720,
     47.2, 2, 40, marks({M::LCDF, M::LCDn, M::LcdAuto, M::LcdP2})},
    {"microfarad point 2", frame('+', "1005", '2', 0x20, 0, 0x80, 0x04), "10.05", "CAP", "uF",
     "AUTO", 1005, 10.05, 2, 40, marks({M::LCDF, M::LCDu, M::LcdAuto, M::LcdP2})},
    {"Celsius", frame('+', "0023", '0', 0, 0, 0, 0x02), "0023", "TMP", "#", "MANU", 23, 23, 0, 1000,
     marks({M::LCDCS})},
    {"Fahrenheit", frame('+', "0073", '0', 0, 0, 0, 0x01), "0073", "TMP", "?", "MANU", 73, 73, 0,
     1832, marks({M::LCDFS})},
    {"status bit 65 selects 6v", frame('+', "1234", '0', 0, 0x80, 0, 0), "1234", "", "", "MANU",
     1234, 1.234, 0, 6, MarkSet()},
    {"hold, relative, MIN, MAX, battery", frame('+', "0001", '0', 0x06, 0x34, 0, 0x80), "0001", "",
     "V", "MANU", 1, 1, 0, 6000,
     marks({M::LCDHold, M::LCDREL, M::Labmax, M::Labmin, M::LCDBATT, M::LcdV})},
    {"millifarad matches no row: own count, factor 1", frame('+', "0012", '1', 0, 0, 0x40, 0x04),
     "0.012", "CAP", "mF", "MANU", 12, 12, 1, 6000, marks({M::LCDF, M::Lcdm, M::LcdP1})},
    {"sign byte neither plus nor minus", frame('*', "0001", '0', 0x10, 0, 0, 0x80), "0001", "DC",
     "V", "MANU", 1, 1, 0, 1000, marks({M::LcdDc1, M::LcdV})},
};

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, GivesReadingAndMarks) {
    const DecodeCase& c = GetParam();
    DecoderFixture f;
    f.decode(c.frameHex);
    const Reading& r = f.decoder.reading;
    EXPECT_EQ(r.ValueText, QString::fromLatin1(c.valueText));
    EXPECT_EQ(r.FunctionText, QString::fromLatin1(c.functionText));
    EXPECT_EQ(r.UnitText, QString::fromLatin1(c.unitText));
    EXPECT_EQ(r.RangeModeText, QString::fromLatin1(c.rangeMode));
    EXPECT_EQ(r.CountValue, c.countValue);
    EXPECT_DOUBLE_EQ(r.ScaledValue, c.scaledValue);
    EXPECT_EQ(r.DecimalPointPos, c.decimalPointPos);
    EXPECT_EQ(f.host.verticalAxisMaximum(), c.axisLimit);
    EXPECT_EQ(f.host.axisMinimum(), -c.axisLimit);
    EXPECT_EQ(f.decoder.display.marks, c.marks)
        << "got " << f.decoder.display.marks.bits() << " want " << c.marks.bits();
    EXPECT_TRUE(r.FreshReading);
    EXPECT_TRUE(f.decoder.display.sendShown);
}

INSTANTIATE_TEST_SUITE_P(Frames, DecodeTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Decoder, OverloadDigitsReplacedWhateverBytesThreeToFiveHold) {
    DecoderFixture f;
    f.decode(frame('-', "?9A9", '0', 0, 0, 0, 0));
    const auto& d = f.decoder.display.digits;
    EXPECT_EQ(d[0], QString());
    EXPECT_EQ(d[1], QStringLiteral("0"));
    EXPECT_EQ(d[2], QStringLiteral("@"));
    EXPECT_EQ(d[3], QString());
    EXPECT_EQ(f.decoder.reading.ValueText, QStringLiteral("0L"));
    EXPECT_TRUE(f.decoder.display.marks.has(Mark::LcdFH));
}

TEST(Decoder, CommaLocaleWritesValueWithComma) {
    DecoderFixture f;
    f.locale.setUserDecimalSeparator(QStringLiteral(","));
    f.decode(frame('-', "1234", '1', 0x30, 0, 0, 0x80));
    EXPECT_EQ(f.decoder.reading.ValueText, QStringLiteral("-1,234"));
    EXPECT_EQ(f.decoder.FsDot, QStringLiteral(","));
}

TEST(Decoder, FailingConversionStopsAtItsStepAndKeepsEarlierEffects) {
    DecoderFixture f;
    f.decode(frame('+', "1234", '1', 0x30, 0, 0, 0x80));
    const Reading before = f.decoder.reading;

    // A lower-case hex digit fails the bit expansion: nothing changes.
    std::string lower = frame('+', "5678", '2', 0x08, 0, 0, 0x80);
    lower[20] = 'a';
    EXPECT_THROW(f.decode(lower), ConversionError);
    EXPECT_EQ(f.decoder.reading.ValueText, before.ValueText);
    EXPECT_TRUE(f.decoder.display.marks.has(Mark::LcdDc1));

    // A non-digit point code: marks cleared, send mark shown, digits and
    // reading unchanged, nothing logged.
    const int logged = f.host.logged;
    // (byte 3A puts "A" at hex position 14)
    EXPECT_THROW(f.decode(frame('+', "5678", 0x3A, 0x08, 0, 0, 0x80)), ConversionError);
    EXPECT_FALSE(f.decoder.display.marks.has(Mark::LcdDc1));
    EXPECT_FALSE(f.decoder.display.marks.has(Mark::LcdAC));
    EXPECT_TRUE(f.decoder.display.marks.has(Mark::LcdP1)); // the points are lit before the digits fail
    EXPECT_EQ(f.decoder.display.digits[0], QStringLiteral("1"));
    EXPECT_EQ(f.decoder.reading.ValueText, before.ValueText);
    EXPECT_EQ(f.host.logged, logged);

    // A non-decimal digit fails the count: the new marks show with the old digits.
    // (byte 3B is the digit "B")
    EXPECT_THROW(f.decode(frame('+', "5;78", '2', 0x08, 0, 0, 0x80)), ConversionError);
    EXPECT_TRUE(f.decoder.display.marks.has(Mark::LcdAC));
    EXPECT_TRUE(f.decoder.display.marks.has(Mark::LcdP2));
    EXPECT_EQ(f.decoder.display.digits[0], QStringLiteral("1"));
    EXPECT_EQ(f.decoder.reading.ValueText, before.ValueText);
    EXPECT_EQ(f.host.logged, logged);
}

TEST(Decoder, ShortFrameRepeatsLastNibbleAndLongFrameIsReadToPosition28) {
    DecoderFixture f;
    // 24 digits (the 12-byte frame): positions 25-28 repeat the last nibble.
    f.decode(frame('+', "0042", '0', 0x10, 0, 0, 0x80).substr(0, 24));
    EXPECT_EQ(f.decoder.reading.ValueText, QStringLiteral("0042"));
    // The USB path hands 28 digits and more; a bad digit past 28 is never read.
    f.decode(frame('+', "0043", '0', 0x10, 0, 0, 0x80) + "0Axyz");
    EXPECT_EQ(f.decoder.reading.ValueText, QStringLiteral("0043"));
    EXPECT_THROW(f.decode(frame('+', "0044", '0', 0x10, 0, 0, 0x80) + "x"), ConversionError);
}

TEST(Decoder, TrackerFollowsMaxAndMinAndResetsOnChange) {
    DecoderFixture f;
    for (const char* v : {"0010", "0030", "0020"}) {
        f.decode(frame('+', v, '0', 0x10, 0, 0, 0x80));
    }
    const Tracker& t = f.decoder.tracker;
    EXPECT_EQ(t.TrackedMax, 30.0f);
    EXPECT_EQ(t.TrackedMaxText, QStringLiteral("0030"));
    EXPECT_EQ(t.TrackedMin, 10.0f);
    EXPECT_EQ(t.TrackedMinText, QStringLiteral("0010"));
    EXPECT_EQ(f.host.seriesShown.size(), 1u) << "the first frame resets the tracker once";

    // Another decimal point: two resets and no update; the texts stay.
    f.decode(frame('+', "0040", '1', 0x10, 0, 0, 0x80));
    EXPECT_EQ(t.TrackedMax, -6000.0f);
    EXPECT_EQ(t.TrackedMin, 6000.0f);
    EXPECT_EQ(f.decoder.display.MaxText, QStringLiteral("0030"));
    EXPECT_EQ(f.decoder.display.MinText, QStringLiteral("0010"));
    EXPECT_EQ(f.host.seriesShown.size(), 3u);

    // Another unit with the same point: reset, then the reading is both.
    f.host.fill = false;
    f.decode(frame('+', "0050", '1', 0x10, 0, 0, 0x40));
    EXPECT_EQ(t.TrackedMax, 50.0f);
    EXPECT_EQ(t.TrackedMin, 50.0f);
    EXPECT_EQ(f.host.seriesShown.back(), 1);
}

TEST(Decoder, OverloadUsesFullScaleOfThePreviousPass) {
    DecoderFixture f;
    const std::string hzOverload = frame('+', "?000", '0', 0, 0, 0, 0x08);
    f.decode(hzOverload);
    EXPECT_EQ(f.decoder.reading.CountValue, 6001);
    f.decode(hzOverload);
    EXPECT_EQ(f.decoder.reading.CountValue, 1001);
    EXPECT_EQ(f.decoder.FullScaleCounts, 1000);
}

TEST(Decoder, HandOffLogsContinuouslyOrStartsTheSamplingTimer) {
    DecoderFixture f;
    f.decode(frame('+', "1234", '1', 0x10, 0, 0, 0x80));
    EXPECT_EQ(f.host.logged, 1);
    EXPECT_EQ(f.host.samplingTimer, std::vector<bool>{false});
    EXPECT_EQ(f.host.barMaximums, std::vector<int>{6});

    f.host.sampling = true;
    f.decode(frame('+', "1235", '1', 0x10, 0, 0, 0x80));
    EXPECT_EQ(f.host.logged, 1);
    EXPECT_EQ(f.host.samplingTimer.back(), true);
    EXPECT_EQ(f.host.barMaximums.size(), 1u) << "same axis maximum: bar maximum untouched";
    EXPECT_EQ(f.host.framesArriving, 2);
}

} // namespace
