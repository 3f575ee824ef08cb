// What velkor-cli log --http reads of a request and of its own option: the
// listen address, the headers and query values that decide access, and the
// row numbers of the query and of Last-Event-ID. The input is split at NUL
// bytes into those texts.
#include "FuzzInput.h"
#include "http/Access.h"
#include "http/ListenAddress.h"
#include "http/RequestParse.h"

using namespace velkor;

namespace {

std::optional<QByteArrayView> part(const QList<QByteArray>& parts, int i) {
    if (i >= parts.size() || parts[i].isEmpty()) {
        return std::nullopt;
    }
    return QByteArrayView(parts[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const QList<QByteArray> parts = bytes.split('\0');
    http::parseListenAddress(QString::fromUtf8(parts.value(0)));
    http::tokenProblem(parts.value(0));
    for (const bool checkHost : {false, true}) {
        http::AccessPolicy policy{QByteArrayLiteral("0123456789abcdef0123"), checkHost};
        http::decideAccess(policy, {part(parts, 1), part(parts, 2), part(parts, 3), part(parts, 4)});
    }
    http::parseRowNumber(parts.value(5));
    http::parseReadingsQuery(part(parts, 5), part(parts, 6));
    http::parseStreamStart(part(parts, 6), part(parts, 5));
    return 0;
}
