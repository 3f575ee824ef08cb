#pragma once

#include <QString>
#include <ostream>

// Readable QStrings in GoogleTest messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
