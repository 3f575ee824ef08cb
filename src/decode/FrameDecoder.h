#pragma once

#include "decode/PassOwner.h"
#include "meter/Marks.h"
#include "meter/Reading.h"

#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace velkor {

class LocaleSource;

// A character that the strict decimal conversion cannot take. Ends the pass.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the meter panel shows, as the decoding pass leaves it.
struct DisplayState {
    MarkSet marks = MarkSet::of(Mark::LcdFH); // the designed start: minus sign shown
    std::array<QString, 4> digits{QStringLiteral("5"), QStringLiteral("9"), QStringLiteral("9"),
                                  QStringLiteral("9")}; // LcdDa, LcdDb, LcdDc, LcdDd
    bool sendShown = false;                             // LCDsend, shown from the first pass on
    QString MaxText, MinText, MaxTextU, MinTextU;
};

// The MIN/MAX tracker, kept across passes.
struct Tracker {
    float TrackedMax = -6001.0f;
    float TrackedMin = 6001.0f;
    QString TrackedMaxText;
    QString TrackedMinText;
    QString TrackedUnitText = QStringLiteral("113");
    QString TrackedFunctionText;
    int TrackedDecimalPointPos = 0;
};

// One decoding pass per frame: frame hex text in, Reading, marks, tracker and
// display captions out, handed to the pass's owner at the end. Holds the
// state the pass keeps between frames.
class FrameDecoder {
public:
    FrameDecoder(const LocaleSource& locale, PassOwner& owner);

    // The frame to decode, upper-case hex, two digits per byte; written by the
    // serial assembler or the USB link just before LcdDisplayHALVIN.
    std::string FrameHex;

    // Decodes FrameHex. Throws ConversionError at the failing step; what the
    // earlier steps changed stays, and nothing is handed over.
    void LcdDisplayHALVIN(int index = 1);

    Reading reading;
    DisplayState display;
    Tracker tracker;
    int FullScaleCounts = 6000;
    QString FsDot = QStringLiteral(".");

private:
    struct FrameFields;

    void beginPass();
    void expandStatusBits();
    void clearFrameState();
    FrameFields readDigitsAndPoint() const;
    void readStatusBits(FrameFields& f);
    void applyOverload(FrameFields& f) const;
    void applySign(FrameFields& f);
    void setPointAndPrefixMarks(FrameFields& f);
    void classifyFunctionAndUnit(FrameFields& f);
    void formValue(const FrameFields& f);
    void trackMinMax();
    void trackerStep();
    void showCaptions(const FrameFields& f);
    void chooseNextFullScale(const FrameFields& f);
    void scaleByRange(const FrameFields& f);

    // Status bits 57-88 are the 32 bits of hex positions 15-22.
    bool bit(int statusBitPos) const { return (statusBits_ >> (88 - statusBitPos)) & 1u; }
    char at(std::size_t pos) const { return pos <= FrameHex.size() ? FrameHex[pos - 1] : '\0'; }
    // The last matching row of the range table for a key of the conditions
    // its rows test (-1: none), remembered for the last few keys.
    int rangeRowFor(std::uint32_t key, const FrameFields& f) const;

    const LocaleSource& locale_;
    PassOwner& owner_;
    std::array<std::uint8_t, 28> nibbles_{};
    std::uint32_t statusBits_ = 0; // hex positions 15-22: status bits 57-88
    struct RangeMemo {
        std::uint32_t key = 0; // key + 1; 0: empty
        int row = -1;
    };
    mutable std::array<RangeMemo, 64> rangeMemo_{};
    PassOutcome outcome_;
};

} // namespace velkor
