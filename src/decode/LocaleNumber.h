#pragma once

#include <QString>

namespace velkor {

// What a number text that does not parse yields. A text whose value is
// exactly this number therefore counts as not parsing.
inline constexpr double kUnparsedNumber = -999999.0;

// Parses a decimal floating-point text the way the limit edits are read:
// blanks around the number are ignored; then an optional sign, decimal
// digits with at most one decimal separator `fsDot` (at least one digit in
// all), and an optional exponent "e" or "E" with an optional sign and at
// least one digit. No thousands separators, no other characters. A text that
// does not parse, or whose value does not fit a double, yields
// kUnparsedNumber.
double parseLocaleNumber(const QString& text, const QString& fsDot);

} // namespace velkor
