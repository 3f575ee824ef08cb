#include "http/Access.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace velkor::http {

namespace {

constexpr qsizetype kMinTokenLength = 16;
constexpr qsizetype kMaxTokenLength = 256;

// Compares in a time that depends on the lengths only, not on where the
// texts first differ.
bool sameToken(QByteArrayView given, const QByteArray& token) {
    if (given.size() != token.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (qsizetype i = 0; i < token.size(); ++i) {
        diff |= static_cast<unsigned char>(given[i] ^ token[i]);
    }
    return diff == 0;
}

bool isTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArrayView bearerToken(QByteArrayView authorization) {
    const QByteArrayView text = authorization.trimmed();
    const qsizetype space = text.indexOf(' ');
    if (space < 0 || !equalsIgnoringCase(text.first(space), "Bearer")) {
        return {};
    }
    return text.sliced(space + 1).trimmed();
}

bool isLoopbackHost(QByteArrayView host) {
    QByteArrayView name = host.trimmed();
    if (name.startsWith('[')) {
        const qsizetype close = name.indexOf(']');
        if (close < 0) {
            return false;
        }
        const QByteArrayView rest = name.sliced(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(':')) {
            return false;
        }
        const QByteArray literal = name.sliced(1, close - 1).toByteArray();
        in6_addr a{};
        return ::inet_pton(AF_INET6, literal.constData(), &a) == 1 && IN6_IS_ADDR_LOOPBACK(&a);
    }
    if (const qsizetype colon = name.indexOf(':'); colon >= 0) {
        name = name.first(colon);
    }
    if (equalsIgnoringCase(name, "localhost")) {
        return true;
    }
    const QByteArray literal = name.toByteArray();
    in_addr a{};
    return ::inet_pton(AF_INET, literal.constData(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

Access decideAccess(const AccessPolicy& policy, const AccessRequest& request) {
    if (policy.token.isEmpty()) {
        if (policy.checkHost && !(request.host && isLoopbackHost(*request.host))) {
            return Access::WrongHost;
        }
        return Access::Granted;
    }
    if (request.authorization && sameToken(bearerToken(*request.authorization), policy.token)) {
        return Access::Granted;
    }
    if (request.cookie && sameToken(*request.cookie, policy.token)) {
        return Access::Granted;
    }
    if (request.queryToken && sameToken(*request.queryToken, policy.token)) {
        return Access::GrantedByQuery;
    }
    return Access::NoToken;
}

std::optional<QString> tokenProblem(QByteArrayView token) {
    if (token.size() < kMinTokenLength || token.size() > kMaxTokenLength) {
        return QStringLiteral("the token must be %1 to %2 characters long")
            .arg(kMinTokenLength)
            .arg(kMaxTokenLength);
    }
    for (const char c : token) {
        if (!isTokenChar(c)) {
            return QStringLiteral("the token may hold only letters, digits and - . _ ~");
        }
    }
    return std::nullopt;
}

QByteArray tokenSetCookie(const QByteArray& token) {
    // Not Secure: the server speaks plain HTTP. HttpOnly keeps it from the
    // page's scripts, SameSite=Strict from other sites' requests.
    return QByteArray(kTokenCookie) + '=' + token + "; Path=/; HttpOnly; SameSite=Strict";
}

} // namespace velkor::http
