#pragma once

#include <QString>

namespace velkor {

// Numbers of the statistics as people read them: always in plain decimal
// notation with a "." point, never with an exponent, so that a column of
// resistances and a column of millivolts both read at a glance.

// The shortest text that reads back as the same double ("0.1234",
// "4700", "0.0000000047"): a value taken from a displayed text shows the
// digits of the CSV's SI column again.
QString exactNumberText(double value);
// Rounded to `digits` significant digits, trailing zeros dropped
// ("12.3333", "0.0516398", "12000000"): for a mean or a spread, whose
// further digits are noise.
QString roundedNumberText(double value, int digits = 6);

} // namespace velkor
