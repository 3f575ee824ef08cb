#include "logfiles/CsvLine.h"

#include <QStringEncoder>
#include <charconv>

namespace velkor {

namespace {

bool needsQuotes(char c) {
    return c == ',' || c == '"' || c == '\n' || c == '\r';
}

} // namespace

void CsvLine::quoted(std::string_view utf8) {
    buf_ += '"';
    for (const char c : utf8) {
        if (c == '"') {
            buf_ += '"';
        }
        buf_ += c;
    }
    buf_ += '"';
}

CsvLine& CsvLine::text(QStringView field) {
    separate();
    // Most fields are short ASCII texts that need no quotes: copied as
    // bytes straight away.
    const std::size_t at = buf_.size();
    buf_.resize(at + static_cast<std::size_t>(field.size()));
    char* out = buf_.data() + at;
    for (const QChar c : field) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || needsQuotes(static_cast<char>(u))) {
            buf_.resize(at);
            QStringEncoder encoder(QStringConverter::Utf8);
            utf8_.resize(static_cast<std::size_t>(encoder.requiredSpace(field.size())));
            char* end = encoder.appendToBuffer(utf8_.data(), field);
            const std::string_view v(utf8_.data(), static_cast<std::size_t>(end - utf8_.data()));
            if (v.find_first_of(",\"\n\r") == std::string_view::npos) {
                buf_ += v;
            } else {
                quoted(v);
            }
            return *this;
        }
        *out++ = static_cast<char>(u);
    }
    return *this;
}

CsvLine& CsvLine::bytes(std::string_view field) {
    separate();
    for (const char c : field) {
        if (needsQuotes(c)) {
            quoted(field);
            return *this;
        }
    }
    buf_ += field;
    return *this;
}

CsvLine& CsvLine::empty() {
    separate();
    return *this;
}

CsvLine& CsvLine::integer(long long value) {
    separate();
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof digits, value);
    buf_.append(digits, res.ptr);
    return *this;
}

CsvLine& CsvLine::shortestDouble(double value) {
    separate();
    char digits[64];
    const auto res = std::to_chars(digits, digits + sizeof digits, value);
    buf_.append(digits, res.ptr);
    return *this;
}

} // namespace velkor
