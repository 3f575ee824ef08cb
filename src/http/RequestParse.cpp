#include "http/RequestParse.h"

namespace velkor::http {

namespace {

constexpr qsizetype kMaxDigits = 18; // below 2^63

std::optional<qint64> parseLast(std::optional<QByteArrayView> text, QByteArray* error) {
    if (!text) {
        return std::nullopt;
    }
    const auto n = parseRowNumber(*text);
    if (!n || *n < 1 || *n > kMaxRowsPerAnswer) {
        *error = "last= takes a number of rows from 1 to " + QByteArray::number(kMaxRowsPerAnswer);
        return std::nullopt;
    }
    return n;
}

} // namespace

std::optional<qint64> parseRowNumber(QByteArrayView text) {
    if (text.isEmpty() || text.size() > kMaxDigits) {
        return std::nullopt;
    }
    qint64 n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

ReadingsQueryParse parseReadingsQuery(std::optional<QByteArrayView> since,
                                      std::optional<QByteArrayView> last) {
    ReadingsQueryParse out;
    ReadingsQuery q;
    if (since) {
        const auto n = parseRowNumber(*since);
        if (!n) {
            out.error = "since= takes a row number";
            return out;
        }
        q.since = *n;
    }
    q.last = parseLast(last, &out.error);
    if (!out.error.isEmpty()) {
        return out;
    }
    out.query = q;
    return out;
}

StreamStartParse parseStreamStart(std::optional<QByteArrayView> lastEventId,
                                  std::optional<QByteArrayView> last) {
    StreamStartParse out;
    StreamStart s;
    if (lastEventId) {
        s.after = parseRowNumber(lastEventId->trimmed());
    }
    if (const auto n = parseLast(last, &out.error)) {
        s.last = *n;
    }
    if (!out.error.isEmpty()) {
        return out;
    }
    out.start = s;
    return out;
}

} // namespace velkor::http
