#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace velkor::http {

// Who may read the server. With a token, every request must carry it: as
// "Authorization: Bearer TOKEN", as the cookie the server set, or once as
// ?token=TOKEN, which sets that cookie. Without one (a server on loopback,
// or --http-open), anyone who reaches the port may read; on loopback the
// Host header must then name this machine too, so that a web page whose
// name was made to point at 127.0.0.1 cannot read the server.
struct AccessPolicy {
    QByteArray token;       // empty: none asked for
    bool checkHost = false; // only loopback names in Host
};

// What a request brings; nothing for what it lacks.
struct AccessRequest {
    std::optional<QByteArrayView> authorization; // the Authorization header
    std::optional<QByteArrayView> cookie;        // the value of the token's cookie
    std::optional<QByteArrayView> queryToken;    // ?token=
    std::optional<QByteArrayView> host;          // the Host header
};

enum class Access {
    Granted,
    GrantedByQuery, // the token came as ?token=: set the cookie
    NoToken,        // 401
    WrongHost,      // 403
};

Access decideAccess(const AccessPolicy& policy, const AccessRequest& request);

// The token of "Bearer TOKEN" (the scheme in any case); empty for any
// other header.
QByteArrayView bearerToken(QByteArrayView authorization);

// Whether a Host header names this machine: localhost, 127.x.y.z or [::1],
// with or without a port.
bool isLoopbackHost(QByteArrayView host);

// Why a token cannot be used; nothing when it can. A token is 16 to 256
// characters of A-Z a-z 0-9 - . _ ~, so that it passes unchanged through
// a header, a cookie and a URL.
std::optional<QString> tokenProblem(QByteArrayView token);

// The cookie that carries the token, and the Set-Cookie value that sets it.
inline constexpr const char* kTokenCookie = "velkor_token";
QByteArray tokenSetCookie(const QByteArray& token);

} // namespace velkor::http
