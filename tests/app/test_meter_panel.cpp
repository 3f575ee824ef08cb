// Frames handed to the serial receive handler drive the meter panel: the
// digits, the sign, the points, exactly the marks of the latest frame, the
// overload picture, and a failing frame that leaves the previous digits.

#include "app/WindowTestSupport.h"
#include "app/MeterPanel.h"

#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace velkor;
using velkor::test::WindowFixture;

namespace {

using namespace status1;
namespace s2 = status2;
namespace s3 = status3;
namespace s4 = status4;

struct PanelCase {
    const char* name;
    MeterFrame frame;
    std::array<const char*, 4> digits;
    std::set<std::string> shown; // every mark widget of the panel not listed is hidden
};

MeterFrame overload(int point, bool negative) {
    MeterFrame f = meterFrame("0L", {Auto, 0, s3::Mega, s4::Ohm});
    f.point = point;
    f.negative = negative;
    return f;
}

MeterFrame withDigits(MeterFrame f, std::array<char, 4> digits) {
    f.digits = digits;
    return f;
}

const PanelCase kCases[] = {
    {"DC volts, point after digit 3", meterFrame("012.3", {Auto | DC, 0, 0, s4::Volt}),
     {"0", "1", "2", "3"}, {"LcdDc1", "LcdV", "LcdAuto", "LcdP3"}},
    {"negative, point after digit 1", meterFrame("-4.815", {Auto | DC, 0, 0, s4::Volt}),
     {"4", "8", "1", "5"}, {"LcdDc1", "LcdV", "LcdAuto", "LcdFH", "LcdP1"}},
    {"millivolts AC, point after digit 2", meterFrame("12.34", {AC, 0, s3::Milli, s4::Volt}),
     {"1", "2", "3", "4"}, {"LcdAC", "LcdV", "Lcdm", "LcdP2"}},
    {"AC and DC together", meterFrame("1.000", {AC | DC, 0, 0, s4::Volt}),
     {"1", "0", "0", "0"}, {"LcdAC", "LcdDc1", "LcdV", "LcdP1"}},
    {"hold, relative, battery, MAX, MIN",
     meterFrame("0.500", {Hold | Rel | DC, s2::Max | s2::Min | s2::Battery, 0, s4::Volt}),
     {"0", "5", "0", "0"},
     {"LCDHold", "LCDREL", "LCDBATT", "Labmax", "Labmin", "LcdDc1", "LcdV", "LcdP1"}},
    {"diode", meterFrame("0.587", {0, 0, s3::Diode, 0}), {"0", "5", "8", "7"},
     {"LCDDI", "LcdV", "LcdP1"}},
    {"continuity", meterFrame("001.2", {0, 0, s3::Continuity, s4::Ohm}), {"0", "0", "1", "2"},
     {"LCDFm", "LCDohm", "LcdP3"}},
    {"kilo-ohms", meterFrame("4.700", {Auto, 0, s3::Kilo, s4::Ohm}), {"4", "7", "0", "0"},
     {"LCDk", "LCDohm", "LcdAuto", "LcdP1"}},
    {"ohm overload, mega, lit point", overload(2, false), {"", "0", "@", ""},
     {"LCDohm", "LCDM1", "LcdAuto", "LcdP2"}},
    {"negative overload", overload(0, true), {"", "0", "@", ""},
     {"LCDohm", "LCDM1", "LcdAuto", "LcdFH"}},
    {"nanofarads", meterFrame("47.20", {Auto, s2::Nano, 0, s4::Farad}), {"4", "7", "2", "0"},
     {"LCDn", "LCDF", "LcdAuto", "LcdP2"}},
    {"microamperes", meterFrame("345.6", {Auto | DC, 0, s3::Micro, s4::Ampere}),
     {"3", "4", "5", "6"}, {"LCDu", "LCDA", "LcdDc1", "LcdAuto", "LcdP3"}},
    {"hertz", meterFrame("50.00", {Auto, 0, 0, s4::Hertz}), {"5", "0", "0", "0"},
     {"LCDHz", "LcdAuto", "LcdP2"}},
    {"duty cycle", meterFrame("050.0", {0, 0, s3::Percent, 0}), {"0", "5", "0", "0"},
     {"LCDBF", "LcdP3"}},
    {"Celsius, manual range", meterFrame("0023", {0, 0, 0, s4::Celsius}), {"0", "0", "2", "3"},
     {"LCDCS"}},
    {"Fahrenheit", meterFrame("0073", {0, 0, 0, s4::Fahrenheit}), {"0", "0", "7", "3"},
     {"LCDFS"}},
    {"every status bit set", withDigits(meterFrame("8.888", {0xFF, 0xFF, 0xFF, 0xFF}),
                                        {'8', '8', '8', '8'}),
     {"8", "8", "8", "8"},
     {"LcdDc1", "LcdV", "LcdAC", "LCDHold", "LCDHz", "LCDBF", "LCDDI", "LCDFm", "LCDCS",
      "LCDFS", "LCDREL", "LCDBATT", "LCDn", "LCDohm", "LcdAuto", "Labmax", "Labmin", "LCDk",
      "LCDM1", "LCDu", "Lcdm", "LCDF", "LCDA", "LcdP1"}},
};

std::set<std::string> shownMarks(const MeterPanel& panel) {
    std::set<std::string> shown;
    for (int i = 0; i < kMarkCount; ++i) {
        const QWidget* w = panel.markWidget(static_cast<Mark>(i));
        if (!w->isHidden()) {
            shown.insert(w->objectName().toStdString());
        }
    }
    return shown;
}

std::array<QString, 4> digitsOf(const WindowFixture& f) {
    return {f.child<QLabel>("LcdDa")->text(), f.child<QLabel>("LcdDb")->text(),
            f.child<QLabel>("LcdDc")->text(), f.child<QLabel>("LcdDd")->text()};
}

std::array<QString, 4> texts(const std::array<const char*, 4>& d) {
    return {QString::fromLatin1(d[0]), QString::fromLatin1(d[1]), QString::fromLatin1(d[2]),
            QString::fromLatin1(d[3])};
}

TEST(MeterPanel, StartState) {
    WindowFixture f;
    EXPECT_EQ(shownMarks(*f.window->Panel1), std::set<std::string>{"LcdFH"});
    EXPECT_EQ(digitsOf(f), texts({"5", "9", "9", "9"}));
    EXPECT_TRUE(f.child("LCDsend")->isHidden());
    EXPECT_TRUE(f.child("CONok")->isHidden());
    EXPECT_FALSE(f.child("CONokN")->isHidden());
}

TEST(MeterPanel, FramesDriveDigitsSignPointsAndOnlyTheirMarks) {
    // One window for the whole table: each frame must clear the marks of
    // the frame before it.
    WindowFixture f;
    for (const PanelCase& c : kCases) {
        SCOPED_TRACE(c.name);
        f.send(c.frame);
        EXPECT_TRUE(f.boxes.shown.empty());
        EXPECT_EQ(digitsOf(f), texts(c.digits));
        EXPECT_EQ(shownMarks(*f.window->Panel1), c.shown);
        EXPECT_FALSE(f.child("LCDsend")->isHidden());
        EXPECT_FALSE(f.child("CONok")->isHidden());
        EXPECT_TRUE(f.child("CONokN")->isHidden());
    }
    // Marks that no frame drives keep their designed hidden state.
    for (const char* name : {"LCDRec", "LCDpower", "LcdACDC", "LCDRS"}) {
        EXPECT_TRUE(f.child(name)->isHidden()) << name;
    }
}

TEST(MeterPanel, TrackerCaptionsFollowTheFrames) {
    WindowFixture f;
    f.send(meterFrame("1.500", {Auto | DC, 0, 0, s4::Volt}));
    f.send(meterFrame("1.200", {Auto | DC, 0, 0, s4::Volt}));
    f.send(meterFrame("1.700", {Auto | DC, 0, 0, s4::Volt}));
    EXPECT_EQ(f.child<QLabel>("MaxText")->text(), QStringLiteral("1.700"));
    EXPECT_EQ(f.child<QLabel>("MinText")->text(), QStringLiteral("1.200"));
    EXPECT_EQ(f.child<QLabel>("MaxTextU")->text(), QStringLiteral("V"));
    EXPECT_EQ(f.child<QLabel>("MinTextU")->text(), QStringLiteral("V"));
}

TEST(MeterPanel, SeveralFramesInOneChunkShowTheLast) {
    WindowFixture f;
    std::vector<std::uint8_t> chunk;
    for (const char* v : {"1.111", "2.222", "-3.333"}) {
        const auto b = meterFrame(v, {DC, 0, 0, s4::Volt}).bytes();
        chunk.insert(chunk.end(), b.begin(), b.end());
    }
    f.receive(chunk.data(), chunk.size());
    EXPECT_EQ(digitsOf(f), texts({"3", "3", "3", "3"}));
    EXPECT_FALSE(f.child("LcdFH")->isHidden());
}

// A digit byte ":" (3A) is no decimal digit: the pass shows the new frame's
// marks, then stops at the value conversion.
std::array<std::uint8_t, 14> badDigitFrame(std::uint8_t statusByte1) {
    MeterFrame fr = meterFrame("1.234", {statusByte1, 0, 0, s4::Volt});
    fr.digits[3] = ':';
    return fr.bytes();
}

TEST(MeterPanel, FailingFrameKeepsThePreviousDigitsAndShowsItsMarks) {
    WindowFixture f;
    f.send(meterFrame("-4.815", {Auto | DC, 0, 0, s4::Volt}));
    f.send(badDigitFrame(AC));
    EXPECT_EQ(digitsOf(f), texts({"4", "8", "1", "5"}));
    EXPECT_EQ(shownMarks(*f.window->Panel1),
              (std::set<std::string>{"LcdAC", "LcdV", "LcdP1"}));
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text, QStringLiteral("'A' is not a valid integer value."));
    EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("VELKOR"));
    EXPECT_EQ(f.boxes.shown[0].icon, MessageBoxes::Icon::Error);
    // The program goes on and shows the next good frame. The failing frame
    // ended its chunk, so the line feed after it is gone and the frame right
    // after it does not pass the assembler: the second one is shown.
    f.send(meterFrame("2.000", {DC, 0, 0, s4::Volt}));
    f.send(meterFrame("2.000", {DC, 0, 0, s4::Volt}));
    EXPECT_EQ(digitsOf(f), texts({"2", "0", "0", "0"}));
}

TEST(MeterPanel, RepeatedFailingFramesShowOneBoxUntilAFrameDecodes) {
    WindowFixture f;
    for (int i = 0; i < 5; ++i) {
        f.send(badDigitFrame(DC));
    }
    EXPECT_EQ(f.boxes.shown.size(), 1u);
    // A good frame (sent twice: the first after a failure is lost with the
    // line feed that its chunk dropped) lets the next failure show again.
    f.send(meterFrame("1.000", {DC, 0, 0, s4::Volt}));
    f.send(meterFrame("1.000", {DC, 0, 0, s4::Volt}));
    EXPECT_EQ(f.child<QLabel>("LcdDa")->text(), QStringLiteral("1"));
    EXPECT_EQ(f.boxes.shown.size(), 1u);
    f.send(badDigitFrame(DC));
    f.send(badDigitFrame(DC));
    EXPECT_EQ(f.boxes.shown.size(), 2u);
}

} // namespace
