#include "decode/LocaleNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace velkor {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

double parseLocaleNumber(const QString& text, const QString& fsDot) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].isSpace()) {
        ++begin;
    }
    while (end > begin && text[end - 1].isSpace()) {
        --end;
    }

    // The number in the form std::from_chars reads: "-", digits, ".", "e".
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(end - begin));
    qsizetype i = begin;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        if (text[i] == QLatin1Char('-')) {
            ascii += '-';
        }
        ++i;
    }
    int digits = 0;
    bool separatorSeen = false;
    while (i < end) {
        if (isAsciiDigit(text[i])) {
            ascii += static_cast<char>(text[i].unicode());
            ++digits;
            ++i;
        } else if (!separatorSeen && !fsDot.isEmpty() &&
                   QStringView(text).sliced(i, end - i).startsWith(fsDot)) {
            ascii += '.';
            separatorSeen = true;
            i += fsDot.size();
        } else {
            break;
        }
    }
    if (digits == 0) {
        return kUnparsedNumber;
    }
    if (i < end && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ascii += 'e';
        ++i;
        if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
            ascii += static_cast<char>(text[i].unicode());
            ++i;
        }
        int exponentDigits = 0;
        while (i < end && isAsciiDigit(text[i])) {
            ascii += static_cast<char>(text[i].unicode());
            ++exponentDigits;
            ++i;
        }
        if (exponentDigits == 0) {
            return kUnparsedNumber;
        }
    }
    if (i != end) {
        return kUnparsedNumber;
    }

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value,
                                           std::chars_format::general);
    if (ec != std::errc() || ptr != ascii.data() + ascii.size() || !std::isfinite(value)) {
        return kUnparsedNumber;
    }
    return value;
}

} // namespace velkor
