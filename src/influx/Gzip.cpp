#include "influx/Gzip.h"

#include <zlib.h>

namespace velkor::influx {

std::optional<QByteArray> gzipped(const QByteArray& data) {
    z_stream z{};
    // 15 window bits, +16: a gzip header and trailer rather than zlib's.
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    QByteArray out;
    out.resize(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(data.size()))));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    const auto written = static_cast<qsizetype>(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) {
        return std::nullopt;
    }
    out.truncate(written);
    return out;
}

} // namespace velkor::influx
