#pragma once

#include <QString>
#include <optional>

namespace velkor::mqtt {

// Where the readings go: a broker and a topic,
//   mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC    (plain TCP, port 1883)
//   mqtts://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC   (TLS, port 8883)
// read with QUrl. USER and PASSWORD are percent-decoded (a ':' or '@' in
// them is written %3A, %40; an unescaped '@' in the password is taken too);
// HOST is a name (an internationalised one in its ASCII form), an IPv4
// address or an IPv6 address in brackets (a zone written %25ZONE); TOPIC is
// taken as written and may have several levels (lab/bench-3). Readings go
// to TOPIC/reading, the logger's state to TOPIC/status, the judge's
// alarms to TOPIC/alarm.
struct MqttUrl {
    bool tls = false;
    QString host; // without brackets
    quint16 port = 0;
    QString user;                    // empty: no user name is sent
    std::optional<QString> password; // only together with a user
    QString topic;

    QString readingTopic() const { return topic + QStringLiteral("/reading"); }
    QString statusTopic() const { return topic + QStringLiteral("/status"); }
    QString alarmTopic() const { return topic + QStringLiteral("/alarm"); }

    // The broker as messages name it: scheme, user, host and port, never
    // the password ("mqtts://alice@[::1]:8883").
    QString brokerText() const;
};

struct MqttUrlParse {
    std::optional<MqttUrl> url;
    QString error; // why the text is no MQTT URL, when url is empty
};

inline constexpr quint16 kMqttDefaultPort = 1883;
inline constexpr quint16 kMqttsDefaultPort = 8883;

// Reads an MQTT URL. passwordFromEnvironment (the caller reads
// VELKOR_MQTT_PASSWORD) is the password when the URL names a user and no
// password; an empty one counts as not given. A password in the URL wins.
MqttUrlParse parseMqttUrl(const QString& text,
                          const std::optional<QString>& passwordFromEnvironment = std::nullopt);

} // namespace velkor::mqtt
