#include "http/ListenAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace velkor::http {

namespace {

std::optional<quint16> parsePort(QStringView text) {
    if (text.isEmpty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        port = port * 10 + (c.unicode() - u'0');
    }
    if (port > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(port);
}

bool isIpv4(const QString& host) {
    in_addr a{};
    return ::inet_pton(AF_INET, host.toLatin1().constData(), &a) == 1;
}

bool isIpv6(const QString& host) {
    in6_addr a{};
    return ::inet_pton(AF_INET6, host.toLatin1().constData(), &a) == 1;
}

} // namespace

bool ListenAddress::isLoopback() const {
    const QByteArray text = host.toLatin1();
    if (!ipv6) {
        in_addr a{};
        return ::inet_pton(AF_INET, text.constData(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
    }
    in6_addr a{};
    if (::inet_pton(AF_INET6, text.constData(), &a) != 1) {
        return false;
    }
    if (IN6_IS_ADDR_LOOPBACK(&a)) {
        return true;
    }
    return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
}

QString ListenAddress::hostPort(quint16 actualPort) const {
    return ipv6 ? QStringLiteral("[%1]:%2").arg(host).arg(actualPort)
                : QStringLiteral("%1:%2").arg(host).arg(actualPort);
}

ListenParse parseListenAddress(QStringView text) {
    ListenParse out;
    ListenAddress a;
    QStringView portText = text;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || close + 1 >= text.size() || text[close + 1] != u':') {
            out.error = QStringLiteral("'%1' is no [IPv6]:PORT").arg(text);
            return out;
        }
        a.host = text.mid(1, close - 1).toString();
        a.ipv6 = true;
        portText = text.mid(close + 2);
        if (!isIpv6(a.host)) {
            out.error = QStringLiteral("'%1' is no IPv6 address").arg(a.host);
            return out;
        }
    } else if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        a.host = text.left(colon).toString();
        portText = text.mid(colon + 1);
        if (a.host.contains(u':')) {
            out.error = QStringLiteral("write an IPv6 address in brackets: [%1]:PORT").arg(a.host);
            return out;
        }
        if (a.host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
            a.host = QStringLiteral("127.0.0.1");
        } else if (!isIpv4(a.host)) {
            out.error = QStringLiteral("'%1' is no IP address (a name is not looked up: give "
                                       "the address, or 0.0.0.0 for every one)")
                            .arg(a.host);
            return out;
        }
    }
    const auto port = parsePort(portText);
    if (!port) {
        out.error = QStringLiteral("'%1' is no port (0 to 65535)").arg(portText);
        return out;
    }
    a.port = *port;
    out.address = a;
    return out;
}

} // namespace velkor::http
