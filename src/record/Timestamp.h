#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace velkor {

// A moment as ISO 8601 local time with milliseconds and its offset from UTC,
// "2026-12-10T21:05:03.120+09:00" ("+00:00" for UTC): a reader anywhere
// knows the instant without knowing the logger's time zone. An offset with
// seconds (a local mean time) has no such form: the moment is written in UTC
// then. Empty for an invalid moment or a year outside 0 to 9999.
QByteArray isoTimestampUtf8(const QDateTime& moment);
QString isoTimestamp(const QDateTime& moment);
// The same of a moment given as Unix time in milliseconds and the offset
// from UTC in seconds (an offset with seconds gives UTC, as above),
// without a date computation of Qt's: a logger writes one for every row.
QByteArray isoTimestampUtf8(qint64 utcMs, int offsetSeconds);
// Reads what isoTimestamp writes (also "Z" for UTC); an invalid moment for
// any other text.
QDateTime parseIsoTimestamp(QByteArrayView text);

} // namespace velkor
