#include "stats/NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace velkor {

namespace {

// Texts for what has no decimal form (a sum that overflowed in a file of
// absurd values).
QString nonFiniteText(double value) {
    if (std::isnan(value)) {
        return QStringLiteral("nan");
    }
    return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
}

// "-0" reads as 0.
QString cleaned(const char* first, const char* last) {
    QString text = QString::fromLatin1(first, last - first);
    if (text == QLatin1String("-0")) {
        text = QStringLiteral("0");
    }
    return text;
}

} // namespace

QString exactNumberText(double value) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    // Enough for a double's whole range in fixed notation.
    std::array<char, 400> buf;
    const auto r =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed);
    return cleaned(buf.data(), r.ptr);
}

QString roundedNumberText(double value, int digits) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    if (value == 0.0) {
        return QStringLiteral("0");
    }
    // Decimals after the point that leave `digits` significant ones.
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::max(0, digits - 1 - magnitude);
    std::array<char, 400> buf;
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                 std::chars_format::fixed, decimals);
    const char* last = r.ptr;
    if (decimals > 0) {
        while (last[-1] == '0') {
            --last;
        }
        if (last[-1] == '.') {
            --last;
        }
    }
    return cleaned(buf.data(), last);
}

} // namespace velkor
