#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

namespace velkor::http {

// The parts of a request that say which rows it wants, read apart from the
// server so that each can be tried on its own.

// The most rows one answer of /api/readings holds; ask again with since=
// the last row's number for more.
inline constexpr qint64 kMaxRowsPerAnswer = 10000;

// A row number (since=, last=, Last-Event-ID): decimal digits only, at
// most 18 of them; nothing for anything else.
std::optional<qint64> parseRowNumber(QByteArrayView text);

// /api/readings?since=N&last=M: the rows numbered above N (default 0),
// and of those only the last M (1 to kMaxRowsPerAnswer) when given.
struct ReadingsQuery {
    qint64 since = 0;
    std::optional<qint64> last;
};
struct ReadingsQueryParse {
    std::optional<ReadingsQuery> query;
    QByteArray error; // for a 400 answer
};
ReadingsQueryParse parseReadingsQuery(std::optional<QByteArrayView> since,
                                      std::optional<QByteArrayView> last);

// /events?last=M with Last-Event-ID: where a stream starts. A stream that
// comes back (Last-Event-ID) goes on after that row; a new one starts with
// the last M rows held (default none), then every new row.
struct StreamStart {
    std::optional<qint64> after; // from Last-Event-ID
    qint64 last = 0;
};
struct StreamStartParse {
    std::optional<StreamStart> start;
    QByteArray error;
};
// A Last-Event-ID that is no row number is as none: the browser sends back
// whatever id it was given.
StreamStartParse parseStreamStart(std::optional<QByteArrayView> lastEventId,
                                  std::optional<QByteArrayView> last);

} // namespace velkor::http
