#pragma once

#include <expat.h>

namespace velkor {

// Lets the parser read documents in the encodings it does not know itself
// (it knows UTF-8, UTF-16, ISO-8859-1 and US-ASCII): single-byte code pages
// such as windows-1252 and multi-byte ones such as Shift_JIS or EUC-JP,
// decoded by Qt's converters. An encoding neither knows is refused.
void installUnknownEncodings(XML_Parser parser);

} // namespace velkor
