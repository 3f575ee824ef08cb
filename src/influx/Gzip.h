#pragma once

#include <QByteArray>
#include <optional>

namespace velkor::influx {

// `data` in the gzip format (RFC 1952) through zlib, at its fastest level:
// line protocol is repetitive text that shrinks several times even so.
// Nothing when zlib fails (out of memory).
std::optional<QByteArray> gzipped(const QByteArray& data);

} // namespace velkor::influx
