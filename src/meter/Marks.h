#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace velkor {

// Annunciator marks of the meter display, named after the panel labels that
// show them. The first 27 are in the order a decoding pass clears them; the
// decimal points follow. Marks that are never cleared (the data mark and the
// connection mark) are kept apart in DisplayState.
enum class Mark : std::uint8_t {
    LcdDc1,
    LcdV,
    LcdAC,
    LCDHold,
    LCDHz,
    LCDBF,
    LCDDI,
    LCDFm,
    LCDCS,
    LCDFS,
    LCDREL,
    LCDBATT,
    LCDn,
    LCDohm,
    LcdFH,
    LcdAuto,
    Labmax,
    Labmin,
    LcdRPM,
    LCDBT,
    LCDk,
    LCDM1,
    LCDu,
    Lcdm,
    LCDF,
    LCDA,
    EF,
    LcdP1,
    LcdP2,
    LcdP3,
};

inline constexpr int kMarkCount = 30;
inline constexpr int kClearedMarkCount = 27; // LcdDc1 .. EF

std::string_view markName(Mark m);

// A small value set of marks.
class MarkSet {
public:
    constexpr MarkSet() = default;
    constexpr bool has(Mark m) const { return (bits_ >> bit(m)) & 1u; }
    constexpr void set(Mark m, bool on = true) {
        if (on) {
            bits_ |= 1u << bit(m);
        } else {
            bits_ &= ~(1u << bit(m));
        }
    }
    constexpr void clear(Mark m) { set(m, false); }
    // Clears every mark the decoding pass clears at its start (not the points).
    constexpr void clearFrameMarks() { bits_ &= ~((1u << kClearedMarkCount) - 1u); }
    constexpr std::uint32_t bits() const { return bits_; }
    constexpr bool operator==(const MarkSet&) const = default;

    template <typename... M> static constexpr MarkSet of(M... marks) {
        MarkSet s;
        (s.set(marks), ...);
        return s;
    }

private:
    static constexpr unsigned bit(Mark m) { return static_cast<unsigned>(m); }
    std::uint32_t bits_ = 0;
};

// The names of the marks shown, in order, separated by blanks ("LcdDc1 LcdV
// LcdAuto"), written into `buffer`: how the command line and the SQLite
// log name them.
using MarkNamesBuffer = std::array<char, kMarkCount * 8>;
std::string_view markNames(MarkSet shown, MarkNamesBuffer& buffer);

} // namespace velkor
