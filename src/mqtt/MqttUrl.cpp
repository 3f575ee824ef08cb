#include "mqtt/MqttUrl.h"

#include <QStringDecoder>
#include <arpa/inet.h>

namespace velkor::mqtt {

namespace {

// The largest topic an MQTT packet can carry, in UTF-8 bytes.
constexpr qsizetype kMaxTopicBytes = 65535;

struct Decoded {
    std::optional<QString> text;
    QString error;
};

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

// Percent-decodes a user name or password: %XX escapes are bytes of UTF-8,
// everything else stands for itself.
Decoded percentDecoded(const QString& text, const QString& what) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('%')) {
            qsizetype end = text.indexOf(QLatin1Char('%'), i);
            end = end < 0 ? text.size() : end;
            bytes += QStringView(text).mid(i, end - i).toUtf8();
            i = end - 1;
            continue;
        }
        const int hi = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            return {std::nullopt,
                    QStringLiteral("the %1 in the MQTT URL has a '%' that is not followed by two "
                                   "hexadecimal digits (write a '%' itself as %2)")
                        .arg(what, QStringLiteral("%25"))};
        }
        const char byte = static_cast<char>(hi * 16 + lo);
        if (byte == 0) {
            return {std::nullopt, QStringLiteral("the %1 in the MQTT URL must not contain %2")
                                      .arg(what, QStringLiteral("%00"))};
        }
        bytes += byte;
        i += 2;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError()) {
        return {std::nullopt,
                QStringLiteral("the %1 in the MQTT URL is not UTF-8 once its %-escapes are decoded")
                    .arg(what)};
    }
    return {std::move(decoded), {}};
}

bool isHostNameChar(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
           u == '.' || u == '_';
}

bool isZoneChar(QChar c) {
    return isHostNameChar(c) || c == QLatin1Char('~');
}

// An IPv6 literal as written between the brackets, with an optional zone
// ("fe80::1%25eth0", the '%' escaped as URLs write it). Returns the host as
// the resolver takes it ("fe80::1%eth0"), or nothing.
std::optional<QString> ipv6Host(const QString& literal) {
    QString address = literal;
    QString zone;
    if (const qsizetype pct = literal.indexOf(QLatin1Char('%')); pct >= 0) {
        if (!literal.mid(pct).startsWith(QLatin1String("%25")) || pct + 3 >= literal.size()) {
            return std::nullopt;
        }
        address = literal.left(pct);
        zone = literal.mid(pct + 3);
        for (const QChar c : zone) {
            if (!isZoneChar(c)) {
                return std::nullopt;
            }
        }
    }
    in6_addr parsed{};
    if (inet_pton(AF_INET6, address.toLatin1().constData(), &parsed) != 1 ||
        address.toLatin1() != address.toUtf8()) {
        return std::nullopt;
    }
    return zone.isEmpty() ? address : address + QLatin1Char('%') + zone;
}

MqttUrlParse failure(QString why) {
    return {std::nullopt, std::move(why)};
}

} // namespace

QString MqttUrl::brokerText() const {
    QString text = tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://");
    if (!user.isEmpty()) {
        text += user + QLatin1Char('@');
    }
    if (host.contains(QLatin1Char(':'))) {
        text += QLatin1Char('[') + host + QLatin1Char(']');
    } else {
        text += host;
    }
    return text + QLatin1Char(':') + QString::number(port);
}

MqttUrlParse parseMqttUrl(const QString& text,
                          const std::optional<QString>& passwordFromEnvironment) {
    MqttUrl url;
    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    const QString scheme = schemeEnd < 0 ? QString() : text.left(schemeEnd).toLower();
    if (scheme == QLatin1String("mqtt")) {
        url.tls = false;
        url.port = kMqttDefaultPort;
    } else if (scheme == QLatin1String("mqtts")) {
        url.tls = true;
        url.port = kMqttsDefaultPort;
    } else {
        return failure(QStringLiteral("an MQTT URL starts with mqtt:// or mqtts:// "
                                      "(mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC)"));
    }

    const qsizetype authorityStart = schemeEnd + 3;
    const qsizetype slash = text.indexOf(QLatin1Char('/'), authorityStart);
    QString authority = text.mid(authorityStart, slash < 0 ? -1 : slash - authorityStart);
    url.topic = slash < 0 ? QString() : text.mid(slash + 1);

    // USER[:PASSWORD]@ (the last '@' ends it, so an unescaped '@' in a
    // password still reads as meant).
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        const Decoded user = percentDecoded(userInfo.left(colon), QStringLiteral("user name"));
        if (!user.text) {
            return failure(user.error);
        }
        if (user.text->isEmpty()) {
            return failure(QStringLiteral("the MQTT URL has an '@' but no user name before it"));
        }
        url.user = *user.text;
        if (colon >= 0) {
            const Decoded password =
                percentDecoded(userInfo.mid(colon + 1), QStringLiteral("password"));
            if (!password.text) {
                return failure(password.error);
            }
            url.password = *password.text;
        }
    }

    // HOST[:PORT]
    QString portText;
    bool hasPort = false;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return failure(QStringLiteral("the IPv6 address in the MQTT URL has no closing ']'"));
        }
        const auto host = ipv6Host(authority.mid(1, close - 1));
        if (!host) {
            return failure(QStringLiteral("'%1' in the MQTT URL is not a valid IPv6 address")
                               .arg(authority.left(close + 1)));
        }
        url.host = *host;
        const QString rest = authority.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                return failure(QStringLiteral("the MQTT URL has '%1' after the IPv6 address where "
                                              "only ':PORT' may follow")
                                   .arg(rest));
            }
            hasPort = true;
            portText = rest.mid(1);
        }
    } else {
        const qsizetype colon = authority.indexOf(QLatin1Char(':'));
        url.host = authority.left(colon);
        if (colon >= 0) {
            hasPort = true;
            portText = authority.mid(colon + 1);
            if (portText.contains(QLatin1Char(':'))) {
                return failure(QStringLiteral("'%1' looks like an IPv6 address: write it in "
                                              "brackets, as mqtt://[%1]/TOPIC")
                                   .arg(authority));
            }
        }
        if (url.host.isEmpty()) {
            return failure(QStringLiteral("the MQTT URL names no host "
                                          "(mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC)"));
        }
        for (const QChar c : url.host) {
            if (!isHostNameChar(c)) {
                return failure(
                    QStringLiteral("'%1' in the MQTT URL is not a valid host name or address")
                        .arg(url.host));
            }
        }
    }
    if (hasPort) {
        bool ok = true;
        for (const QChar c : portText) {
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }
        const uint port = ok && !portText.isEmpty() && portText.size() <= 5 ? portText.toUInt() : 0;
        if (port < 1 || port > 65535) {
            return failure(
                QStringLiteral(
                    "the port in the MQTT URL must be a number from 1 to 65535, not '%1'")
                    .arg(portText));
        }
        url.port = static_cast<quint16>(port);
    }

    // TOPIC
    if (url.topic.isEmpty()) {
        return failure(QStringLiteral("the MQTT URL needs a topic after the host "
                                      "(mqtt://HOST/TOPIC; readings go to TOPIC/reading)"));
    }
    if (url.topic.contains(QLatin1Char('+')) || url.topic.contains(QLatin1Char('#'))) {
        return failure(QStringLiteral("the MQTT topic '%1' contains a wildcard ('+' or '#'); "
                                      "readings are published to one topic, so name it exactly")
                           .arg(url.topic));
    }
    if (url.topic.startsWith(QLatin1Char('$'))) {
        return failure(QStringLiteral("the MQTT topic '%1' starts with '$', which brokers keep "
                                      "for themselves")
                           .arg(url.topic));
    }
    if (url.topic.contains(QChar(0))) {
        return failure(QStringLiteral("the MQTT topic must not contain a NUL character"));
    }
    if (url.readingTopic().toUtf8().size() > kMaxTopicBytes) {
        return failure(QStringLiteral("the MQTT topic is longer than an MQTT topic may be "
                                      "(65535 bytes with /reading)"));
    }

    // The password from the environment, when the URL gives none.
    const bool environmentPassword = passwordFromEnvironment && !passwordFromEnvironment->isEmpty();
    if (!url.password && environmentPassword) {
        if (url.user.isEmpty()) {
            return failure(QStringLiteral("VELKOR_MQTT_PASSWORD is set but the MQTT URL names no "
                                          "user (mqtt://USER@HOST/TOPIC)"));
        }
        url.password = *passwordFromEnvironment;
    }
    return {std::move(url), {}};
}

} // namespace velkor::mqtt
