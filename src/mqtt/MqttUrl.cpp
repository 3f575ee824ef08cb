#include "mqtt/MqttUrl.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

namespace velkor::mqtt {

namespace {

// The largest topic an MQTT packet can carry, in UTF-8 bytes.
constexpr qsizetype kMaxTopicBytes = 65535;

const QString kForm = QStringLiteral("mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC");

struct Decoded {
    std::optional<QString> text;
    QString error;
};

// A user name or password as written in the URL: %XX escapes are bytes of
// UTF-8, everything else stands for itself. Qt decodes the escapes; a '%'
// without two hexadecimal digits, a NUL and bytes that are no UTF-8 are
// refused rather than passed on altered.
Decoded percentDecoded(const QString& text, const QString& what) {
    static const QRegularExpression badEscape(QStringLiteral("%(?![0-9A-Fa-f]{2})"));
    if (text.contains(badEscape)) {
        return {std::nullopt,
                QStringLiteral("the %1 in the MQTT URL has a '%' that is not followed by two "
                               "hexadecimal digits (write a '%' itself as %2)")
                    .arg(what, QStringLiteral("%25"))};
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(text.toUtf8());
    if (bytes.contains('\0')) {
        return {std::nullopt, QStringLiteral("the %1 in the MQTT URL must not contain %2")
                                  .arg(what, QStringLiteral("%00"))};
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

MqttUrlParse failure(QString why) {
    return {std::nullopt, std::move(why)};
}

// HOST[:PORT] into the URL. QUrl (strict) checks and normalises the host:
// a name (internationalised names become their ASCII form), an IPv4
// address, or an IPv6 address in brackets with an optional zone written
// %25ZONE; and reads the port. Only where the parts meet is looked at here,
// to say which part is wrong.
std::optional<QString> readHostAndPort(const QString& hostPort, MqttUrl& url) {
    const bool bracketed = hostPort.startsWith(QLatin1Char('['));
    qsizetype hostEnd = hostPort.size();
    if (bracketed) {
        const qsizetype close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return QStringLiteral("the IPv6 address in the MQTT URL has no closing ']'");
        }
        hostEnd = close + 1;
        if (hostEnd < hostPort.size() && hostPort[hostEnd] != QLatin1Char(':')) {
            return QStringLiteral("the MQTT URL has '%1' after the IPv6 address where only "
                                  "':PORT' may follow")
                .arg(hostPort.mid(hostEnd));
        }
    } else if (hostPort.count(QLatin1Char(':')) > 1) {
        return QStringLiteral("'%1' looks like an IPv6 address: write it in brackets, as "
                              "mqtt://[%1]/TOPIC")
            .arg(hostPort);
    } else if (const qsizetype colon = hostPort.indexOf(QLatin1Char(':')); colon >= 0) {
        hostEnd = colon;
    }
    const QString hostText = hostPort.left(hostEnd);
    if (hostText.isEmpty()) {
        return QStringLiteral("the MQTT URL names no host (%1)").arg(kForm);
    }
    QUrl host;
    host.setAuthority(hostText, QUrl::StrictMode);
    if (bracketed && (!host.isValid() || !host.host().contains(QLatin1Char(':')))) {
        return QStringLiteral("'%1' in the MQTT URL is not a valid IPv6 address").arg(hostText);
    }
    if (!host.isValid() || host.host().isEmpty()) {
        return QStringLiteral("'%1' in the MQTT URL is not a valid host name or address")
            .arg(hostText);
    }
    url.host = host.host();
    if (hostEnd == hostPort.size()) {
        return std::nullopt;
    }
    const QString portText = hostPort.mid(hostEnd + 1);
    QUrl withPort;
    withPort.setAuthority(hostPort, QUrl::StrictMode);
    if (!withPort.isValid() || withPort.port() < 1) {
        return QStringLiteral("the port in the MQTT URL must be a number from 1 to 65535, not '%1'")
            .arg(portText);
    }
    url.port = static_cast<quint16>(withPort.port());
    return std::nullopt;
}

std::optional<QString> topicError(const QString& topic, const MqttUrl& url) {
    if (topic.isEmpty()) {
        return QStringLiteral("the MQTT URL needs a topic after the host "
                              "(mqtt://HOST/TOPIC; readings go to TOPIC/reading)");
    }
    if (topic.contains(QLatin1Char('+')) || topic.contains(QLatin1Char('#'))) {
        return QStringLiteral("the MQTT topic '%1' contains a wildcard ('+' or '#'); readings "
                              "are published to one topic, so name it exactly")
            .arg(topic);
    }
    if (topic.startsWith(QLatin1Char('$'))) {
        return QStringLiteral("the MQTT topic '%1' starts with '$', which brokers keep for "
                              "themselves")
            .arg(topic);
    }
    if (topic.contains(QChar(0))) {
        return QStringLiteral("the MQTT topic must not contain a NUL character");
    }
    if (url.readingTopic().toUtf8().size() > kMaxTopicBytes) {
        return QStringLiteral("the MQTT topic is longer than an MQTT topic may be "
                              "(65535 bytes with /reading)");
    }
    return std::nullopt;
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
        return failure(
            QStringLiteral("an MQTT URL starts with mqtt:// or mqtts:// (%1)").arg(kForm));
    }

    // The topic is everything after the first '/' behind the host, taken as
    // written: it is an MQTT topic, not a URL path (no escapes, any text).
    const qsizetype authorityStart = schemeEnd + 3;
    const qsizetype slash = text.indexOf(QLatin1Char('/'), authorityStart);
    const QString authority = text.mid(authorityStart, slash < 0 ? -1 : slash - authorityStart);
    url.topic = slash < 0 ? QString() : text.mid(slash + 1);

    // USER[:PASSWORD]@ ends at the last '@', so that an unescaped '@' in a
    // password still reads as meant.
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
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
    if (const auto error = readHostAndPort(authority.mid(at + 1), url)) {
        return failure(*error);
    }
    if (const auto error = topicError(url.topic, url)) {
        return failure(*error);
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
