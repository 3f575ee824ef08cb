#pragma once

#include "decode/Marks.h"
#include "decode/Reading.h"

#include <QString>
#include <array>
#include <stdexcept>
#include <string>

namespace velkor {

class LocaleSource;
class PassHost;

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
    bool sendShown = false;                   // LCDsend, shown from the first pass on
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
// display captions out. Holds the state the pass keeps between frames.
class FrameDecoder {
public:
    FrameDecoder(const LocaleSource& locale, PassHost& host);

    // The frame to decode, upper-case hex, two digits per byte; written by the
    // serial assembler or the USB link just before LcdDisplayHALVIN.
    std::string FrameHex;

    // Decodes FrameHex. Throws ConversionError at the failing step; what the
    // earlier steps changed stays.
    void LcdDisplayHALVIN(int index = 1);

    Reading reading;
    DisplayState display;
    Tracker tracker;
    int FullScaleCounts = 6000;
    double LastAxisMaximum = 0.0;
    QString FsDot = QStringLiteral(".");

private:
    const LocaleSource& locale_;
    PassHost& host_;
    std::array<std::uint8_t, 28> nibbles_{};

    bool bit(int statusBitPos) const;
    void expand();
    void trackerStep();
    void classifyRange(bool bit65, bool bit77);
};

} // namespace velkor
