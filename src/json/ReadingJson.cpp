#include "json/ReadingJson.h"

#include "record/Timestamp.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace velkor::json {

namespace {

void appendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendEscape(QByteArray& out, char16_t unit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit));
    out += buf;
}

void appendNumber(QByteArray& out, double value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr - buf);
}

void appendKey(QByteArray& out, const char* key) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
}

} // namespace

void appendJsonString(QByteArray& out, QStringView text) {
    out += '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        switch (u) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\b':
            out += "\\b";
            continue;
        case '\f':
            out += "\\f";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (u < 0x20 || u == 0x2028 || u == 0x2029) {
            // Control characters must be escaped; the two line separators
            // are, so that the text can also be embedded in JavaScript.
            appendEscape(out, u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            appendUtf8(out, 0xFFFD); // half a pair is no character
        } else {
            appendUtf8(out, u);
        }
    }
    out += '"';
}

QByteArray readingJson(const JsonReading& r) {
    QByteArray out;
    out.reserve(160 + 2 * (r.function.size() + r.value.size() + r.unit.size() + r.judge.size()));
    out += '{';
    appendKey(out, "no");
    out += QByteArray::number(r.no);
    appendKey(out, "timestamp");
    if (const QByteArray stamp = isoTimestampUtf8(r.timestamp); !stamp.isEmpty()) {
        out += '"';
        out += stamp;
        out += '"';
    } else {
        out += "null";
    }
    appendKey(out, "function");
    appendJsonString(out, r.function);
    appendKey(out, "value");
    appendJsonString(out, r.value);
    appendKey(out, "unit");
    appendJsonString(out, r.unit);
    appendKey(out, "si");
    if (r.si && std::isfinite(*r.si)) {
        appendNumber(out, *r.si);
    } else {
        out += "null";
    }
    appendKey(out, "judge");
    appendJsonString(out, r.judge);
    appendKey(out, "marks");
    out += '[';
    for (qsizetype i = 0; i < r.marks.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        appendJsonString(out, r.marks[i]);
    }
    out += "]}";
    return out;
}

} // namespace velkor::json
