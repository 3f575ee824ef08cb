// The decoding pass over one meter frame.
//
// Frame (hex text, two digits per byte, positions counted from 1):
//
//   byte  hex pos  content                         taken by the pass
//   1     1-2      sign "+" 2B / "-" 2D             pos 2: "D" minus, "B" plus
//   2     3-4      digit 1 (ASCII); 3F = overload  pos 4 (low half); "F" = overload
//   3     5-6      digit 2                          pos 6
//   4     7-8      digit 3                          pos 8
//   5     9-10     digit 4                          pos 10
//   6     11-12    separator                        -
//   7     13-14    decimal point code               pos 14: 1, 2, 4 = point after digit 1, 2, 3
//   8     15-16    status 1   bit positions 57-64
//   9     17-18    status 2   bit positions 65-72
//   10    19-20    status 3   bit positions 73-80
//   11    21-22    status 4   bit positions 81-88
//   12    23-24    unused     89-96
//   13    25-26    CR (0D)    checked by the link before the call
//   14    27-28    byte after CR (USB path only), never read
//
// Status bit N (counted from 1 over hex positions 1-28, most significant bit
// first) is bit 7 - ((N-1) mod 8) of byte ceil(N/8):
//
//   59 auto range  60 DC  61 AC  62 REL  63 HOLD
//   65 row "6v"  67 MAX  68 MIN  70 battery  71 nano
//   73 micro  74 milli  75 kilo  76 mega  77 continuity  78 diode  79 percent
//   81 volt  82 ampere  83 ohm  85 hertz  86 farad  87 Celsius  88 Fahrenheit

#include "decode/FrameDecoder.h"

#include "decode/LocaleSource.h"
#include "decode/PassHost.h"
#include "decode/RangeTable.h"

#include <cmath>

namespace velkor {

namespace {

const QString kDC = QStringLiteral("DC");
const QString kAC = QStringLiteral("AC");
const QString kDiode = QStringLiteral("Diode");
const QString kCTN = QStringLiteral("CTN");
const QString kOHM = QStringLiteral("OHM");
const QString kCAP = QStringLiteral("CAP");
const QString kTMP = QStringLiteral("TMP");
const QString kFreq = QStringLiteral("Freq");
const QString kDuty = QStringLiteral("DutyCycle");
const QString kAUTO = QStringLiteral("AUTO");
const QString kMANU = QStringLiteral("MANU");
const QString kMinus = QStringLiteral("-");
const QString kAt = QStringLiteral("@");
const QString kZero = QStringLiteral("0");
const QString kL = QStringLiteral("L");

const QString& unit(const char* u) {
    static const QString kUnits[] = {
        QStringLiteral("V"),  QStringLiteral("A"),  QStringLiteral("*"),  QStringLiteral("F"),
        QStringLiteral("#"),  QStringLiteral("?"),  QStringLiteral("Hz"), QStringLiteral("%"),
        QStringLiteral("nV"), QStringLiteral("mV"), QStringLiteral("uV"), QStringLiteral("nA"),
        QStringLiteral("mA"), QStringLiteral("uA"), QStringLiteral("nF"), QStringLiteral("mF"),
        QStringLiteral("uF"), QStringLiteral("k*"), QStringLiteral("M*"),
    };
    for (const QString& s : kUnits) {
        if (s == QLatin1String(u)) {
            return s;
        }
    }
    static const QString kEmpty;
    return kEmpty;
}

[[noreturn]] void conversionFailed(char c) {
    std::string text = "'";
    if (c != '\0') {
        text += c;
    }
    text += "' is not a valid integer value";
    throw ConversionError(text);
}

// Strict decimal conversion of one character ('\0' stands for a missing one).
int decimalDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    conversionFailed(c);
}

// One-character texts, shared so a pass allocates nothing for its digits.
const QString& charText(char c) {
    static const auto kTexts = [] {
        std::array<QString, 128> t;
        for (int i = 1; i < 128; ++i) {
            t[static_cast<std::size_t>(i)] = QString(QLatin1Char(static_cast<char>(i)));
        }
        return t;
    }();
    return kTexts[static_cast<unsigned char>(c) & 0x7F];
}

bool matches(RangeRow::Tri cond, bool value) {
    return cond == RangeRow::Tri::Any || (cond == RangeRow::Tri::On) == value;
}

} // namespace

FrameDecoder::FrameDecoder(const LocaleSource& locale, PassHost& host)
    : locale_(locale), host_(host) {}

bool FrameDecoder::bit(int n) const {
    const int nibble = nibbles_[static_cast<std::size_t>((n - 1) / 4)];
    return (nibble >> (3 - (n - 1) % 4)) & 1;
}

// Step 4: every hex position 1-28 becomes four bits. "A"-"F" give 10-15; a
// position past the end of the text repeats the previous nibble (0 before the
// first); anything else goes through the strict decimal conversion.
void FrameDecoder::expand() {
    int previous = 0;
    for (std::size_t i = 0; i < nibbles_.size(); ++i) {
        if (i < FrameHex.size()) {
            const char c = FrameHex[i];
            previous = (c >= 'A' && c <= 'F') ? c - 'A' + 10 : decimalDigit(c);
        }
        nibbles_[i] = static_cast<std::uint8_t>(previous);
    }
}

void FrameDecoder::LcdDisplayHALVIN(int /*index*/) {
    auto at = [this](std::size_t pos) { return pos <= FrameHex.size() ? FrameHex[pos - 1] : '\0'; };
    MarkSet& marks = display.marks;

    // 1-3
    FsDot = locale_.userDecimalSeparator();
    host_.normaliseLimitSeparators(FsDot);
    host_.frameArriving();

    // 4
    expand();

    // 5-6
    marks.clearFrameMarks();
    reading.FunctionText.clear();
    reading.RangeModeText.clear();
    reading.UnitText.clear();
    display.sendShown = true;

    // 7
    QString digit[4] = {charText(at(4)), charText(at(6)), charText(at(8)), charText(at(10))};
    const int pointCode = decimalDigit(at(14));
    const bool point1 = pointCode == 1;
    const bool point2 = pointCode == 2;
    const bool point3 = pointCode == 4;

    // 8
    bool nano = false, micro = false, milli = false, kilo = false, mega = false, ampere = false;
    if (bit(60)) marks.set(Mark::LcdDc1);
    if (bit(61)) marks.set(Mark::LcdAC);
    if (bit(62)) marks.set(Mark::LCDREL);
    if (bit(63)) marks.set(Mark::LCDHold);
    if (bit(78)) {
        marks.set(Mark::LCDDI);
        marks.set(Mark::LcdV);
        reading.FunctionText = kDiode;
        reading.UnitText = unit("V");
    }
    if (bit(67)) marks.set(Mark::Labmax);
    if (bit(68)) marks.set(Mark::Labmin);
    if (bit(70)) marks.set(Mark::LCDBATT);
    nano = bit(71);
    micro = bit(73);
    milli = bit(74);
    kilo = bit(75);
    mega = bit(76);
    const bool bit77 = bit(77);
    if (bit77) {
        marks.set(Mark::LCDFm);
        reading.FunctionText = kCTN;
    }
    if (bit(79)) marks.set(Mark::LCDBF);
    if (bit(81)) marks.set(Mark::LcdV);
    ampere = bit(82);
    if (bit(83)) {
        marks.set(Mark::LCDohm);
        reading.FunctionText = kOHM;
    }
    if (bit(85)) marks.set(Mark::LCDHz);
    if (bit(86)) marks.set(Mark::LCDF);
    if (bit(87)) marks.set(Mark::LCDCS);
    if (bit(88)) marks.set(Mark::LCDFS);
    if (bit(59)) {
        marks.set(Mark::LcdAuto);
        reading.RangeModeText = kAUTO;
    } else {
        reading.RangeModeText = kMANU;
    }
    const bool bit65 = bit(65);

    // 9: overload
    const bool overload = at(4) == 'F';
    if (overload) {
        digit[2] = kAt;
        digit[1] = kZero;
        digit[0].clear();
        digit[3].clear();
    }

    // 10: sign
    QString sign;
    if (at(2) == 'D') {
        marks.set(Mark::LcdFH);
        sign = kMinus;
    } else if (at(2) == 'B') {
        marks.clear(Mark::LcdFH);
    }

    // 11: points
    const QString p1 = point1 ? FsDot : QString();
    const QString p2 = point2 ? FsDot : QString();
    const QString p3 = point3 ? FsDot : QString();
    marks.set(Mark::LcdP1, point1);
    marks.set(Mark::LcdP2, point2);
    marks.set(Mark::LcdP3, point3);

    // 12: prefix and ampere marks
    marks.set(Mark::LCDk, kilo);
    marks.set(Mark::LCDM1, mega);
    marks.set(Mark::Lcdm, milli);
    marks.set(Mark::LCDu, micro);
    marks.set(Mark::LCDA, ampere);
    marks.set(Mark::LCDn, nano);

    // 13: function and unit; later rows win
    const bool V = marks.has(Mark::LcdV), A = marks.has(Mark::LCDA), F = marks.has(Mark::LCDF);
    const bool ohm = marks.has(Mark::LCDohm);
    if (marks.has(Mark::LcdAC)) reading.FunctionText = kAC;
    if (marks.has(Mark::LcdDc1)) reading.FunctionText = kDC;
    if (V) reading.UnitText = unit("V");
    if (A) reading.UnitText = unit("A");
    if (ohm) reading.UnitText = unit("*");
    if (F) {
        reading.FunctionText = kCAP;
        reading.UnitText = unit("F");
    }
    if (marks.has(Mark::LCDCS)) {
        reading.FunctionText = kTMP;
        reading.UnitText = unit("#");
    }
    if (marks.has(Mark::LCDFS)) {
        reading.FunctionText = kTMP;
        reading.UnitText = unit("?");
    }
    if (marks.has(Mark::LCDHz)) {
        reading.FunctionText = kFreq;
        reading.UnitText = unit("Hz");
    }
    if (marks.has(Mark::LCDBF)) {
        reading.FunctionText = kDuty;
        reading.UnitText = unit("%");
    }
    if (V && nano) reading.UnitText = unit("nV");
    if (V && milli) reading.UnitText = unit("mV");
    if (V && micro) reading.UnitText = unit("uV");
    if (A && nano) reading.UnitText = unit("nA");
    if (A && milli) reading.UnitText = unit("mA");
    if (A && micro) reading.UnitText = unit("uA");
    if (F && nano) reading.UnitText = unit("nF");
    if (F && milli) reading.UnitText = unit("mF");
    if (F && micro) reading.UnitText = unit("uF");
    if (ohm && kilo) reading.UnitText = unit("k*");
    if (ohm && mega) reading.UnitText = unit("M*");

    // 14: value text and count value
    if (overload) {
        QString& v = reading.ValueText;
        v.clear();
        v.append(p1).append(kZero).append(p2).append(kL).append(p3);
        reading.CountValue = sign == kMinus ? -FullScaleCounts - 1.0 : FullScaleCounts + 1.0;
    } else {
        int count = 0;
        for (const QString& d : digit) {
            count = count * 10 + decimalDigit(d.isEmpty() ? '\0' : d[0].toLatin1());
        }
        QString& v = reading.ValueText;
        v.clear();
        v.append(sign).append(digit[0]).append(p1).append(digit[1]).append(p2).append(digit[2]);
        v.append(p3).append(digit[3]);
        reading.CountValue = sign.isEmpty() ? count : -count;
    }

    // 15
    reading.DecimalPointPos = point1 ? 1 : point2 ? 2 : point3 ? 3 : 0;

    // 16: the tracker step, twice
    trackerStep();
    trackerStep();
    tracker.TrackedDecimalPointPos = reading.DecimalPointPos;

    // 17: captions
    display.MaxText = tracker.TrackedMaxText;
    display.MinText = tracker.TrackedMinText;
    display.MaxTextU = reading.UnitText;
    display.MinTextU = reading.UnitText;
    display.digits = {digit[0], digit[1], digit[2], digit[3]};

    // 18: full scale for the next pass
    const QString& u = reading.UnitText;
    FullScaleCounts = (u == unit("Hz") || u == unit("#")) ? 1000 : u == unit("%") ? 100 : 6000;

    // 19
    classifyRange(bit65, bit77);

    // 20
    host_.judgeReading(reading);

    // 21: hand-off
    reading.FreshReading = true;
    const double axisMax = host_.verticalAxisMaximum();
    if (axisMax != LastAxisMaximum) {
        host_.setBarMaximum(static_cast<int>(std::trunc(axisMax)));
    }
    if (host_.samplingChecked()) {
        host_.setSamplingTimerEnabled(true);
    } else {
        host_.setSamplingTimerEnabled(false);
        host_.INDataToTable(0);
    }
    LastAxisMaximum = host_.verticalAxisMaximum();
}

void FrameDecoder::trackerStep() {
    Tracker& t = tracker;
    const Reading& r = reading;
    if (r.UnitText == t.TrackedUnitText && r.DecimalPointPos == t.TrackedDecimalPointPos &&
        r.FunctionText == t.TrackedFunctionText) {
        if (r.CountValue >= t.TrackedMax) {
            t.TrackedMaxText = r.ValueText;
            t.TrackedMax = static_cast<float>(r.CountValue);
        }
        if (r.CountValue <= t.TrackedMin) {
            t.TrackedMinText = r.ValueText;
            t.TrackedMin = static_cast<float>(r.CountValue);
        }
    } else {
        host_.showSeries(host_.fillChecked() ? 0 : 1);
        t.TrackedUnitText = r.UnitText;
        t.TrackedFunctionText = r.FunctionText;
        t.TrackedMax = static_cast<float>(-FullScaleCounts);
        t.TrackedMin = static_cast<float>(FullScaleCounts);
    }
}

// Step 19. A frame that matches no row keeps the axis and takes its own
// CountValue with factor 1 (never the previous frame's value).
void FrameDecoder::classifyRange(bool bit65, bool bit77) {
    const MarkSet& m = display.marks;
    const bool p1 = m.has(Mark::LcdP1), p2 = m.has(Mark::LcdP2), p3 = m.has(Mark::LcdP3);
    const RangeRow* match = nullptr;
    for (const RangeRow& row : rangeTable()) {
        switch (row.point) {
        case RangeRow::Point::Any: break;
        case RangeRow::Point::None:
            if (p1 || p2 || p3) continue;
            break;
        case RangeRow::Point::P1:
            if (!p1) continue;
            break;
        case RangeRow::Point::P2:
            if (!p2) continue;
            break;
        case RangeRow::Point::P3:
            if (!p3) continue;
            break;
        }
        if (!matches(row.acMark, m.has(Mark::LcdAC)) || !matches(row.kMark, m.has(Mark::LCDk)) ||
            !matches(row.megaMark, m.has(Mark::LCDM1)) ||
            !matches(row.continuityMark, m.has(Mark::LCDFm)) || !matches(row.bit77, bit77) ||
            !matches(row.bit65, bit65)) {
            continue;
        }
        if (row.function && reading.FunctionText != QLatin1String(row.function)) continue;
        if (row.unit && reading.UnitText != QLatin1String(row.unit)) continue;
        host_.setVerticalAxis(row.limit, -row.limit);
        match = &row;
    }
    reading.ScaledValue = match ? reading.CountValue * match->factor : reading.CountValue;
}

} // namespace velkor
