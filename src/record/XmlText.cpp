#include "record/XmlText.h"

#include <QByteArrayView>
#include <QChar>
#include <algorithm>
#include <cstring>

namespace velkor {

namespace {

void put(char16_t*& out, char32_t c) {
    if (c >= 0x10000) {
        *out++ = QChar::highSurrogate(c);
        *out++ = QChar::lowSurrogate(c);
    } else {
        *out++ = static_cast<char16_t>(c);
    }
}

// A character reference or one of the five predefined entities, after '&'.
bool decodeReference(const char*& p, const char* end, char16_t*& out) {
    const void* semi =
        std::memchr(p, ';', static_cast<std::size_t>(std::min<qsizetype>(end - p, 12)));
    if (!semi) {
        return false;
    }
    const QByteArrayView ref(p, static_cast<const char*>(semi) - p);
    p = static_cast<const char*>(semi) + 1;
    if (ref == "amp") {
        *out++ = u'&';
    } else if (ref == "lt") {
        *out++ = u'<';
    } else if (ref == "gt") {
        *out++ = u'>';
    } else if (ref == "quot") {
        *out++ = u'"';
    } else if (ref == "apos") {
        *out++ = u'\'';
    } else if (ref.size() >= 2 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        const QByteArrayView digits = ref.sliced(hex ? 2 : 1);
        if (digits.isEmpty() || digits.size() > 8) {
            return false;
        }
        char32_t c = 0;
        for (const char d : digits) {
            int v;
            if (d >= '0' && d <= '9') {
                v = d - '0';
            } else if (hex && d >= 'a' && d <= 'f') {
                v = d - 'a' + 10;
            } else if (hex && d >= 'A' && d <= 'F') {
                v = d - 'A' + 10;
            } else {
                return false;
            }
            c = c * (hex ? 16 : 10) + static_cast<char32_t>(v);
        }
        if (!isXmlChar(c)) {
            return false;
        }
        put(out, c);
    } else {
        return false;
    }
    return true;
}

} // namespace

bool decodeXmlText(const char* p, qsizetype size, bool attribute, char16_t* out,
                   qsizetype* length) {
    const char* end = p + size;
    char16_t* const start = out;
    while (p < end) {
        const auto b = static_cast<unsigned char>(*p);
        if (b >= 0x20 && b < 0x80 && b != '&' && b != '<') {
            *out++ = b;
            ++p;
            continue;
        }
        if (b == '&') {
            ++p;
            if (!decodeReference(p, end, out)) {
                return false;
            }
            continue;
        }
        if (b == '\r' || b == '\n' || b == '\t') {
            *out++ = attribute ? u' ' : b == '\t' ? u'\t' : u'\n';
            ++p;
            if (b == '\r' && p < end && *p == '\n') {
                ++p;
            }
            continue;
        }
        if (b < 0x80) {
            return false; // '<' or a control character
        }
        // UTF-8: the shortest form only, no surrogates, nothing past U+10FFFF.
        int extra;
        char32_t c;
        char32_t least;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (end - p <= extra) {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            const auto t = static_cast<unsigned char>(p[i]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (t & 0x3F);
        }
        if (c < least || !isXmlChar(c)) {
            return false;
        }
        put(out, c);
        p += extra + 1;
    }
    *length = out - start;
    return true;
}

} // namespace velkor
