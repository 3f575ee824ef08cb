#pragma once

#include <QtGlobal>

namespace velkor {

// A character XML documents may hold.
inline bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Decodes UTF-8 text of an XML document into UTF-16 as an XML reader gives
// it: the predefined entities and character references replaced (no other
// entity is known), line ends (CR LF, CR) made LF, and in an attribute
// value each white-space character a space. False when the bytes hold a
// '<', another entity, a character XML cannot hold or malformed UTF-8.
// `out` needs room for one unit a byte.
bool decodeXmlText(const char* p, qsizetype size, bool attribute, char16_t* out, qsizetype* length);

} // namespace velkor
