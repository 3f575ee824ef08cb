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

#include "decode/RangeTable.h"
#include "platform/LocaleSource.h"

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

// What the steps of one pass hand each other about the frame.
struct FrameDecoder::FrameFields {
    std::array<QString, 4> digits; // digit 1-4 texts, one character or empty
    bool point[3] = {};            // decimal point after digit 1, 2, 3
    QString points[3];             // FsDot for a lit point, else empty
    QString sign;                  // "-" or empty
    bool overload = false;
    bool nano = false, micro = false, milli = false, kilo = false, mega = false, ampere = false;
    bool rangeBit = false;      // selects the "6v" range row
    bool continuityBit = false; // selects the continuity range row
};

FrameDecoder::FrameDecoder(const LocaleSource& locale, PassOwner& owner)
    : locale_(locale), owner_(owner) {}

// The pass, in the meter's order: later steps read what earlier ones set.
// A step that meets a character it cannot convert throws; the steps before
// it keep their effects and nothing is handed over.
void FrameDecoder::LcdDisplayHALVIN(int /*index*/) {
    beginPass();
    expandStatusBits();
    clearFrameState();
    FrameFields f = readDigitsAndPoint();
    readStatusBits(f);
    applyOverload(f);
    applySign(f);
    setPointAndPrefixMarks(f);
    classifyFunctionAndUnit(f);
    formValue(f);
    trackMinMax();
    showCaptions(f);
    chooseNextFullScale();
    scaleByRange(f);
    owner_.handOff(reading, outcome_);
}

char FrameDecoder::at(std::size_t pos) const {
    return pos <= FrameHex.size() ? FrameHex[pos - 1] : '\0';
}

bool FrameDecoder::bit(int n) const {
    const int nibble = nibbles_[static_cast<std::size_t>((n - 1) / 4)];
    return (nibble >> (3 - (n - 1) % 4)) & 1;
}

// The locale is read again for every frame; the owner normalises the limit
// texts to it and shows that data arrives.
void FrameDecoder::beginPass() {
    outcome_ = {};
    FsDot = locale_.userDecimalSeparator();
    owner_.passStarting(FsDot);
}

// Every hex position 1-28 becomes four bits. "A"-"F" give 10-15; a position
// past the end of the text repeats the previous nibble (0 before the first);
// anything else goes through the strict decimal conversion.
void FrameDecoder::expandStatusBits() {
    int previous = 0;
    for (std::size_t i = 0; i < nibbles_.size(); ++i) {
        if (i < FrameHex.size()) {
            const char c = FrameHex[i];
            previous = (c >= 'A' && c <= 'F') ? c - 'A' + 10 : decimalDigit(c);
        }
        nibbles_[i] = static_cast<std::uint8_t>(previous);
    }
}

// All annunciators off, the texts a frame sets emptied, the data mark on.
void FrameDecoder::clearFrameState() {
    display.marks.clearFrameMarks();
    reading.FunctionText.clear();
    reading.RangeModeText.clear();
    reading.UnitText.clear();
    display.sendShown = true;
}

// The four digits are the low hex digits of bytes 2-5; the point code of
// byte 7 must be a decimal digit: 1, 2 and 4 light a point.
FrameDecoder::FrameFields FrameDecoder::readDigitsAndPoint() const {
    FrameFields f;
    f.digits = {charText(at(4)), charText(at(6)), charText(at(8)), charText(at(10))};
    const int pointCode = decimalDigit(at(14));
    f.point[0] = pointCode == 1;
    f.point[1] = pointCode == 2;
    f.point[2] = pointCode == 4;
    return f;
}

// The status bits, in a fixed order: each turns on its mark (with the
// function or unit some of them name); the prefixes and the ampere bit are
// only noted here and shown later.
void FrameDecoder::readStatusBits(FrameFields& f) {
    MarkSet& marks = display.marks;
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
    f.nano = bit(71);
    f.micro = bit(73);
    f.milli = bit(74);
    f.kilo = bit(75);
    f.mega = bit(76);
    f.continuityBit = bit(77);
    if (f.continuityBit) {
        marks.set(Mark::LCDFm);
        reading.FunctionText = kCTN;
    }
    if (bit(79)) marks.set(Mark::LCDBF);
    if (bit(81)) marks.set(Mark::LcdV);
    f.ampere = bit(82);
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
    f.rangeBit = bit(65);
}

// An "F" in the first digit's low half is an overload: the display reads
// "0@" centred, whatever the other digits hold.
void FrameDecoder::applyOverload(FrameFields& f) const {
    f.overload = at(4) == 'F';
    if (f.overload) {
        f.digits[2] = kAt;
        f.digits[1] = kZero;
        f.digits[0].clear();
        f.digits[3].clear();
    }
}

// "D" in the sign byte's low half is minus, "B" plus; anything else shows no
// sign and leaves the minus mark as it was cleared.
void FrameDecoder::applySign(FrameFields& f) {
    if (at(2) == 'D') {
        display.marks.set(Mark::LcdFH);
        f.sign = kMinus;
    } else if (at(2) == 'B') {
        display.marks.clear(Mark::LcdFH);
    }
}

void FrameDecoder::setPointAndPrefixMarks(FrameFields& f) {
    MarkSet& marks = display.marks;
    for (int i = 0; i < 3; ++i) {
        f.points[i] = f.point[i] ? FsDot : QString();
    }
    marks.set(Mark::LcdP1, f.point[0]);
    marks.set(Mark::LcdP2, f.point[1]);
    marks.set(Mark::LcdP3, f.point[2]);
    marks.set(Mark::LCDk, f.kilo);
    marks.set(Mark::LCDM1, f.mega);
    marks.set(Mark::Lcdm, f.milli);
    marks.set(Mark::LCDu, f.micro);
    marks.set(Mark::LCDA, f.ampere);
    marks.set(Mark::LCDn, f.nano);
}

// Function and unit from the marks, as a chain in which later rules win.
void FrameDecoder::classifyFunctionAndUnit(const FrameFields& f) {
    const MarkSet& marks = display.marks;
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
    if (V && f.nano) reading.UnitText = unit("nV");
    if (V && f.milli) reading.UnitText = unit("mV");
    if (V && f.micro) reading.UnitText = unit("uV");
    if (A && f.nano) reading.UnitText = unit("nA");
    if (A && f.milli) reading.UnitText = unit("mA");
    if (A && f.micro) reading.UnitText = unit("uA");
    if (F && f.nano) reading.UnitText = unit("nF");
    if (F && f.milli) reading.UnitText = unit("mF");
    if (F && f.micro) reading.UnitText = unit("uF");
    if (ohm && f.kilo) reading.UnitText = unit("k*");
    if (ohm && f.mega) reading.UnitText = unit("M*");
}

// The value text as the meter shows it and its count. An overload reads
// "0L" (with its lit points) and counts one past full scale; otherwise every
// digit must be a decimal digit.
void FrameDecoder::formValue(const FrameFields& f) {
    QString& v = reading.ValueText;
    if (f.overload) {
        v.clear();
        v.append(f.points[0]).append(kZero).append(f.points[1]).append(kL).append(f.points[2]);
        reading.CountValue = f.sign == kMinus ? -FullScaleCounts - 1.0 : FullScaleCounts + 1.0;
    } else {
        int count = 0;
        for (const QString& d : f.digits) {
            count = count * 10 + decimalDigit(d.isEmpty() ? '\0' : d[0].toLatin1());
        }
        v.clear();
        v.append(f.sign).append(f.digits[0]).append(f.points[0]).append(f.digits[1]);
        v.append(f.points[1]).append(f.digits[2]).append(f.points[2]).append(f.digits[3]);
        reading.CountValue = f.sign.isEmpty() ? count : -count;
    }
    reading.DecimalPointPos = f.point[0] ? 1 : f.point[1] ? 2 : f.point[2] ? 3 : 0;
}

// The tracker takes the reading twice; the decimal point position it
// compares with is updated only after both.
void FrameDecoder::trackMinMax() {
    trackerStep();
    trackerStep();
    tracker.TrackedDecimalPointPos = reading.DecimalPointPos;
}

// A reading of the tracked function, unit and point position moves the
// extremes it reaches; any other reading starts the tracker over at full
// scale (and the chart shows its chosen series again).
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
        ++outcome_.trackerResets;
        t.TrackedUnitText = r.UnitText;
        t.TrackedFunctionText = r.FunctionText;
        t.TrackedMax = static_cast<float>(-FullScaleCounts);
        t.TrackedMin = static_cast<float>(FullScaleCounts);
    }
}

// The MIN/MAX captions and the four digits on the panel.
void FrameDecoder::showCaptions(const FrameFields& f) {
    display.MaxText = tracker.TrackedMaxText;
    display.MinText = tracker.TrackedMinText;
    display.MaxTextU = reading.UnitText;
    display.MinTextU = reading.UnitText;
    display.digits = f.digits;
}

// The full scale the next pass uses: 1000 counts for frequency and
// temperature, 100 for duty cycle, 6000 otherwise.
void FrameDecoder::chooseNextFullScale() {
    const QString& u = reading.UnitText;
    FullScaleCounts = (u == unit("Hz") || u == unit("#")) ? 1000 : u == unit("%") ? 100 : 6000;
}

// The range table: the last row that matches sets the chart's axis and the
// factor that scales the count. A frame that matches no row keeps the axis
// and takes its own CountValue with factor 1 (never the previous frame's
// value).
void FrameDecoder::scaleByRange(const FrameFields& f) {
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
            !matches(row.continuityMark, m.has(Mark::LCDFm)) ||
            !matches(row.bit77, f.continuityBit) || !matches(row.bit65, f.rangeBit)) {
            continue;
        }
        if (row.function && reading.FunctionText != QLatin1String(row.function)) continue;
        if (row.unit && reading.UnitText != QLatin1String(row.unit)) continue;
        match = &row;
    }
    if (match) {
        outcome_.axisLimit = match->limit;
    }
    reading.ScaledValue = match ? reading.CountValue * match->factor : reading.CountValue;
}

} // namespace velkor
