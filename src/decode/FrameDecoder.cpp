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

#include <algorithm>
#include <span>
#include <vector>

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

// The function and unit texts a pass can give, by number, so that later
// steps and the range table compare numbers instead of texts. 0 is the
// empty text a pass starts from.
enum Function : std::uint8_t {
    NoFunction,
    FnDC,
    FnAC,
    FnDiode,
    FnCTN,
    FnOHM,
    FnCAP,
    FnTMP,
    FnFreq,
    FnDuty,
    kFunctionCount
};
enum Unit : std::uint8_t {
    NoUnit,
    UV,
    UA,
    UOhm,
    UF,
    UCelsius,
    UFahrenheit,
    UHz,
    UPercent,
    UnV,
    UmV,
    UuV,
    UnA,
    UmA,
    UuA,
    UnF,
    UmF,
    UuF,
    UkOhm,
    UMOhm,
    kUnitCount
};
// A range row that names a text no pass gives never matches.
constexpr std::uint8_t kNever = 0xFF;

const QString& functionText(std::uint8_t f) {
    static const QString kTexts[kFunctionCount] = {
        QString(), kDC, kAC, kDiode, kCTN, kOHM, kCAP, kTMP, kFreq, kDuty,
    };
    return kTexts[f];
}

const QString& unitText(std::uint8_t u) {
    static const QString kTexts[kUnitCount] = {
        QString(),
        QStringLiteral("V"),
        QStringLiteral("A"),
        QStringLiteral("*"),
        QStringLiteral("F"),
        QStringLiteral("#"),
        QStringLiteral("?"),
        QStringLiteral("Hz"),
        QStringLiteral("%"),
        QStringLiteral("nV"),
        QStringLiteral("mV"),
        QStringLiteral("uV"),
        QStringLiteral("nA"),
        QStringLiteral("mA"),
        QStringLiteral("uA"),
        QStringLiteral("nF"),
        QStringLiteral("mF"),
        QStringLiteral("uF"),
        QStringLiteral("k*"),
        QStringLiteral("M*"),
    };
    return kTexts[u];
}

template <std::size_t N>
std::uint8_t indexOf(const char* text, const QString& (*textOf)(std::uint8_t)) {
    for (std::uint8_t i = 1; i < N; ++i) {
        if (textOf(i) == QLatin1String(text)) {
            return i;
        }
    }
    return kNever;
}

// The function and unit conditions of every range row, as numbers; worked
// out once, in the table's order.
struct RowTexts {
    std::uint8_t function; // 0: no condition
    std::uint8_t unit;     // 0: no condition
};

const std::vector<RowTexts>& rowTexts() {
    static const std::vector<RowTexts> kRows = [] {
        std::vector<RowTexts> rows;
        for (const RangeRow& row : rangeTable()) {
            rows.push_back(
                {row.function ? indexOf<kFunctionCount>(row.function, functionText)
                              : std::uint8_t{NoFunction},
                 row.unit ? indexOf<kUnitCount>(row.unit, unitText) : std::uint8_t{NoUnit}});
        }
        return rows;
    }();
    return kRows;
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

// The value of each hex digit character "0"-"9", "A"-"F"; -1 for any other.
constexpr std::array<std::int8_t, 256> kNibbleValue = [] {
    std::array<std::int8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        t[static_cast<std::size_t>(i)] = -1;
    }
    for (int i = 0; i < 10; ++i) {
        t[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        t[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
    }
    return t;
}();

// One-character texts over static storage: a pass copies them without
// allocating or counting references. '\0' gives the empty text.
const QString& charText(char c) {
    static const auto kChars = [] {
        std::array<char16_t, 128> t{};
        for (int i = 0; i < 128; ++i) {
            t[static_cast<std::size_t>(i)] = static_cast<char16_t>(i);
        }
        return t;
    }();
    static const auto kTexts = [] {
        std::array<QString, 128> t;
        for (std::size_t i = 1; i < 128; ++i) {
            t[i] = QString::fromRawData(reinterpret_cast<const QChar*>(&kChars[i]), 1);
        }
        return t;
    }();
    return kTexts[static_cast<unsigned char>(c) & 0x7F];
}

// Copies a text unless the target already holds the same one (the texts of
// a steady reading stay the same from frame to frame).
void assignText(QString& target, const QString& text) {
    if (target.constData() != text.constData() || target.size() != text.size()) {
        target = text;
    }
}

bool matches(RangeRow::Tri cond, bool value) {
    return cond == RangeRow::Tri::Any || (cond == RangeRow::Tri::On) == value;
}

} // namespace

// What the steps of one pass hand each other about the frame.
struct FrameDecoder::FrameFields {
    char digits[4] = {}; // digit 1-4 characters, '\0' for an empty digit
    bool point[3] = {};  // decimal point after digit 1, 2, 3
    bool minus = false;  // the sign text is "-"
    bool overload = false;
    bool nano = false, micro = false, milli = false, kilo = false, mega = false, ampere = false;
    bool rangeBit = false;              // selects the "6v" range row
    bool continuityBit = false;         // selects the continuity range row
    std::uint8_t function = NoFunction; // FunctionText by number
    std::uint8_t unit = NoUnit;         // UnitText by number
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
    chooseNextFullScale(f);
    scaleByRange(f);
    owner_.handOff(reading, outcome_);
}

// The locale is read again for every frame; the owner normalises the limit
// texts to it and shows that data arrives.
void FrameDecoder::beginPass() {
    outcome_ = {};
    assignText(FsDot, locale_.userDecimalSeparator());
    owner_.passStarting(FsDot);
}

// Every hex position 1-28 becomes four bits. "A"-"F" give 10-15; a position
// past the end of the text repeats the previous nibble (0 before the first);
// anything else goes through the strict decimal conversion.
void FrameDecoder::expandStatusBits() {
    const std::size_t given = std::min(FrameHex.size(), nibbles_.size());
    for (std::size_t i = 0; i < given; ++i) {
        const char c = FrameHex[i];
        const int v = kNibbleValue[static_cast<unsigned char>(c)];
        if (v < 0) {
            conversionFailed(c);
        }
        nibbles_[i] = static_cast<std::uint8_t>(v);
    }
    const std::uint8_t last = given > 0 ? nibbles_[given - 1] : 0;
    for (std::size_t i = given; i < nibbles_.size(); ++i) {
        nibbles_[i] = last;
    }
    std::uint32_t bits = 0;
    for (std::size_t i = 14; i < 22; ++i) {
        bits = (bits << 4) | nibbles_[i];
    }
    statusBits_ = bits;
}

// All annunciators off, the texts a frame sets emptied, the data mark on.
void FrameDecoder::clearFrameState() {
    static const QString kEmpty;
    display.marks.clearFrameMarks();
    assignText(reading.FunctionText, kEmpty);
    assignText(reading.RangeModeText, kEmpty);
    assignText(reading.UnitText, kEmpty);
    display.sendShown = true;
}

// The four digits are the low hex digits of bytes 2-5; the point code of
// byte 7 must be a decimal digit: 1, 2 and 4 light a point.
FrameDecoder::FrameFields FrameDecoder::readDigitsAndPoint() const {
    FrameFields f;
    f.digits[0] = at(4);
    f.digits[1] = at(6);
    f.digits[2] = at(8);
    f.digits[3] = at(10);
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
        f.function = FnDiode;
        f.unit = UV;
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
        f.function = FnCTN;
    }
    if (bit(79)) marks.set(Mark::LCDBF);
    if (bit(81)) marks.set(Mark::LcdV);
    f.ampere = bit(82);
    if (bit(83)) {
        marks.set(Mark::LCDohm);
        f.function = FnOHM;
    }
    if (bit(85)) marks.set(Mark::LCDHz);
    if (bit(86)) marks.set(Mark::LCDF);
    if (bit(87)) marks.set(Mark::LCDCS);
    if (bit(88)) marks.set(Mark::LCDFS);
    if (bit(59)) {
        marks.set(Mark::LcdAuto);
        assignText(reading.RangeModeText, kAUTO);
    } else {
        assignText(reading.RangeModeText, kMANU);
    }
    f.rangeBit = bit(65);
}

// An "F" in the first digit's low half is an overload: the display reads
// "0@" centred, whatever the other digits hold.
void FrameDecoder::applyOverload(FrameFields& f) const {
    f.overload = at(4) == 'F';
    if (f.overload) {
        f.digits[2] = '@';
        f.digits[1] = '0';
        f.digits[0] = '\0';
        f.digits[3] = '\0';
    }
}

// "D" in the sign byte's low half is minus, "B" plus; anything else shows no
// sign and leaves the minus mark as it was cleared.
void FrameDecoder::applySign(FrameFields& f) {
    if (at(2) == 'D') {
        display.marks.set(Mark::LcdFH);
        f.minus = true;
    } else if (at(2) == 'B') {
        display.marks.clear(Mark::LcdFH);
    }
}

void FrameDecoder::setPointAndPrefixMarks(FrameFields& f) {
    MarkSet& marks = display.marks;
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
void FrameDecoder::classifyFunctionAndUnit(FrameFields& f) {
    const MarkSet& marks = display.marks;
    const bool V = marks.has(Mark::LcdV), A = marks.has(Mark::LCDA), F = marks.has(Mark::LCDF);
    const bool ohm = marks.has(Mark::LCDohm);
    std::uint8_t& fn = f.function;
    std::uint8_t& u = f.unit;
    if (marks.has(Mark::LcdAC)) fn = FnAC;
    if (marks.has(Mark::LcdDc1)) fn = FnDC;
    if (V) u = UV;
    if (A) u = UA;
    if (ohm) u = UOhm;
    if (F) {
        fn = FnCAP;
        u = UF;
    }
    if (marks.has(Mark::LCDCS)) {
        fn = FnTMP;
        u = UCelsius;
    }
    if (marks.has(Mark::LCDFS)) {
        fn = FnTMP;
        u = UFahrenheit;
    }
    if (marks.has(Mark::LCDHz)) {
        fn = FnFreq;
        u = UHz;
    }
    if (marks.has(Mark::LCDBF)) {
        fn = FnDuty;
        u = UPercent;
    }
    if (V && f.nano) u = UnV;
    if (V && f.milli) u = UmV;
    if (V && f.micro) u = UuV;
    if (A && f.nano) u = UnA;
    if (A && f.milli) u = UmA;
    if (A && f.micro) u = UuA;
    if (F && f.nano) u = UnF;
    if (F && f.milli) u = UmF;
    if (F && f.micro) u = UuF;
    if (ohm && f.kilo) u = UkOhm;
    if (ohm && f.mega) u = UMOhm;
    assignText(reading.FunctionText, functionText(fn));
    assignText(reading.UnitText, unitText(u));
}

// The value text as the meter shows it and its count. An overload reads
// "0L" (with its lit points) and counts one past full scale; otherwise every
// digit must be a decimal digit.
void FrameDecoder::formValue(const FrameFields& f) {
    int count = 0;
    if (!f.overload) {
        for (const char d : f.digits) {
            count = count * 10 + decimalDigit(d);
        }
    }
    // The text is put together in place: a value of a steady reading
    // overwrites the one before it without allocating.
    const QStringView dot(FsDot);
    char16_t text[5 + 3 * 8];
    std::size_t n = 0;
    const auto put = [&](char c) {
        if (c != '\0') {
            text[n++] = static_cast<char16_t>(c);
        }
    };
    const auto putPoint = [&](bool lit) {
        if (lit) {
            for (const QChar c : dot) {
                text[n++] = c.unicode();
            }
        }
    };
    if (dot.size() <= 8) {
        if (f.overload) {
            putPoint(f.point[0]);
            put('0');
            putPoint(f.point[1]);
            put('L');
            putPoint(f.point[2]);
        } else {
            put(f.minus ? '-' : '\0');
            put(f.digits[0]);
            putPoint(f.point[0]);
            put(f.digits[1]);
            putPoint(f.point[1]);
            put(f.digits[2]);
            putPoint(f.point[2]);
            put(f.digits[3]);
        }
        const QStringView value(text, static_cast<qsizetype>(n));
        QString& v = reading.ValueText;
        if (v != value) {
            v.resize(value.size());
            std::copy(value.begin(), value.end(), v.data());
        }
    } else {
        QString v;
        const auto point = [&](bool lit) { return lit ? FsDot : QString(); };
        if (f.overload) {
            v.append(point(f.point[0])).append(QLatin1Char('0')).append(point(f.point[1]));
            v.append(QLatin1Char('L')).append(point(f.point[2]));
        } else {
            v.append(f.minus ? QStringLiteral("-") : QString()).append(charText(f.digits[0]));
            v.append(point(f.point[0])).append(charText(f.digits[1])).append(point(f.point[1]));
            v.append(charText(f.digits[2])).append(point(f.point[2]));
            v.append(charText(f.digits[3]));
        }
        reading.ValueText = v;
    }
    if (f.overload) {
        reading.CountValue = f.minus ? -FullScaleCounts - 1.0 : FullScaleCounts + 1.0;
    } else {
        reading.CountValue = f.minus ? -count : count;
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
            assignText(t.TrackedMaxText, r.ValueText);
            t.TrackedMax = static_cast<float>(r.CountValue);
        }
        if (r.CountValue <= t.TrackedMin) {
            assignText(t.TrackedMinText, r.ValueText);
            t.TrackedMin = static_cast<float>(r.CountValue);
        }
    } else {
        ++outcome_.trackerResets;
        assignText(t.TrackedUnitText, r.UnitText);
        assignText(t.TrackedFunctionText, r.FunctionText);
        t.TrackedMax = static_cast<float>(-FullScaleCounts);
        t.TrackedMin = static_cast<float>(FullScaleCounts);
    }
}

// The MIN/MAX captions and the four digits on the panel.
void FrameDecoder::showCaptions(const FrameFields& f) {
    assignText(display.MaxText, tracker.TrackedMaxText);
    assignText(display.MinText, tracker.TrackedMinText);
    assignText(display.MaxTextU, reading.UnitText);
    assignText(display.MinTextU, reading.UnitText);
    for (std::size_t i = 0; i < display.digits.size(); ++i) {
        assignText(display.digits[i], charText(f.digits[i]));
    }
}

// The full scale the next pass uses: 1000 counts for frequency and
// temperature, 100 for duty cycle, 6000 otherwise.
void FrameDecoder::chooseNextFullScale(const FrameFields& f) {
    FullScaleCounts = (f.unit == UHz || f.unit == UCelsius) ? 1000
                      : f.unit == UPercent                  ? 100
                                                            : 6000;
}

// The range table: the last row that matches sets the chart's axis and the
// factor that scales the count. A frame that matches no row keeps the axis
// and takes its own CountValue with factor 1 (never the previous frame's
// value).
void FrameDecoder::scaleByRange(const FrameFields& f) {
    const MarkSet& m = display.marks;
    // Everything the rows test, as one key.
    const std::uint32_t key = (m.has(Mark::LcdP1) ? 1u : 0u) | (m.has(Mark::LcdP2) ? 2u : 0u) |
                              (m.has(Mark::LcdP3) ? 4u : 0u) | (m.has(Mark::LcdAC) ? 8u : 0u) |
                              (m.has(Mark::LCDk) ? 16u : 0u) | (m.has(Mark::LCDM1) ? 32u : 0u) |
                              (m.has(Mark::LCDFm) ? 64u : 0u) | (f.continuityBit ? 128u : 0u) |
                              (f.rangeBit ? 256u : 0u) | (std::uint32_t{f.function} << 9) |
                              (std::uint32_t{f.unit} << 13);
    const int row = rangeRowFor(key, f);
    const RangeRow* match = row >= 0 ? &rangeTable()[static_cast<std::size_t>(row)] : nullptr;
    if (match) {
        outcome_.axisLimit = match->limit;
    }
    reading.ScaledValue = match ? reading.CountValue * match->factor : reading.CountValue;
}

int FrameDecoder::rangeRowFor(std::uint32_t key, const FrameFields& f) const {
    RangeMemo& memo = rangeMemo_[((key + 1) * 0x9E3779B1u) >> 26];
    if (memo.key == key + 1) {
        return memo.row;
    }
    const MarkSet& m = display.marks;
    const bool p1 = m.has(Mark::LcdP1), p2 = m.has(Mark::LcdP2), p3 = m.has(Mark::LcdP3);
    const bool ac = m.has(Mark::LcdAC), k = m.has(Mark::LCDk), mega = m.has(Mark::LCDM1);
    const bool continuity = m.has(Mark::LCDFm);
    const std::span<const RangeRow> rows = rangeTable();
    const std::vector<RowTexts>& texts = rowTexts();
    int match = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RangeRow& row = rows[i];
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
        if (!matches(row.acMark, ac) || !matches(row.kMark, k) || !matches(row.megaMark, mega) ||
            !matches(row.continuityMark, continuity) || !matches(row.bit77, f.continuityBit) ||
            !matches(row.bit65, f.rangeBit)) {
            continue;
        }
        if (texts[i].function != NoFunction && texts[i].function != f.function) continue;
        if (texts[i].unit != NoUnit && texts[i].unit != f.unit) continue;
        match = static_cast<int>(i);
    }
    memo = {key + 1, match};
    return match;
}

} // namespace velkor
