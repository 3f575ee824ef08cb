#include "mqtt/HaDiscovery.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>

namespace velkor::mqtt {

namespace {

// Home Assistant takes "None" from a template as "no value" (unknown): an
// overload has no number.
constexpr const char* kSiTemplate = "{{ value_json.si }}";
// Capacitance in µF, since farads are far too large for a meter's ranges;
// rounded to a femtofarad, so that the scaling leaves no binary noise.
constexpr const char* kMicroTemplate =
    "{{ (value_json.si * 1000000) | round(9) if value_json.si is number else None }}";

// The device classes and units are those Home Assistant documents for its
// sensors: voltage in V, current in A, frequency in Hz, temperature in °C
// or °F. Resistance, capacitance and a duty cycle have no class there.
const std::array<HaQuantity, 10> kQuantities{{
    {"dc_voltage", "DC voltage", "voltage", "V", kSiTemplate},
    {"ac_voltage", "AC voltage", "voltage", "V", kSiTemplate},
    {"dc_current", "DC current", "current", "A", kSiTemplate},
    {"ac_current", "AC current", "current", "A", kSiTemplate},
    {"resistance", "Resistance", nullptr, "\u03A9", kSiTemplate},
    {"capacitance", "Capacitance", nullptr, "\u00B5F", kMicroTemplate},
    {"frequency", "Frequency", "frequency", "Hz", kSiTemplate},
    {"temperature_c", "Temperature (\u00B0C)", "temperature", "\u00B0C", kSiTemplate},
    {"temperature_f", "Temperature (\u00B0F)", "temperature", "\u00B0F", kSiTemplate},
    {"duty_cycle", "Duty cycle", nullptr, "%", kSiTemplate},
}};

const HaQuantity& quantityNamed(const char* objectId) {
    for (const HaQuantity& q : kQuantities) {
        if (qstrcmp(q.objectId, objectId) == 0) {
            return q;
        }
    }
    Q_UNREACHABLE();
}

QString status(const HaDevice& d) {
    return d.topic + QStringLiteral("/status");
}

// What every entity of the logger shares: its device, where it comes from,
// its availability.
QJsonObject common(const HaDevice& d, const QString& objectId, const char* name) {
    const QString node = haNodeId(d.topic);
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{node}},
        {QStringLiteral("name"), QStringLiteral("velkor ") + d.topic},
        {QStringLiteral("model"), d.model},
        {QStringLiteral("sw_version"), d.swVersion},
    };
    return QJsonObject{
        {QStringLiteral("name"), QString::fromUtf8(name)},
        {QStringLiteral("unique_id"), node + QLatin1Char('_') + objectId},
        {QStringLiteral("availability_topic"), status(d)},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("device"), device},
        {QStringLiteral("origin"),
         QJsonObject{{QStringLiteral("name"), QStringLiteral("velkor-cli")},
                     {QStringLiteral("sw_version"), d.swVersion}}},
    };
}

QByteArray configTopic(const HaDevice& d, const char* component, const char* objectId) {
    return (d.prefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') +
            haNodeId(d.topic) + QLatin1Char('/') + QLatin1String(objectId) +
            QStringLiteral("/config"))
        .toUtf8();
}

} // namespace

std::span<const HaQuantity> haQuantities() {
    return kQuantities;
}

const HaQuantity* haQuantity(QStringView function, QStringView baseUnit) {
    const bool ac = function == u"AC";
    if (baseUnit == u"V") {
        return &quantityNamed(ac ? "ac_voltage" : "dc_voltage");
    }
    if (baseUnit == u"A") {
        return &quantityNamed(ac ? "ac_current" : "dc_current");
    }
    static const std::array<std::pair<QStringView, const char*>, 6> byUnit{{
        {u"\u03A9", "resistance"},
        {u"F", "capacitance"},
        {u"Hz", "frequency"},
        {u"\u00B0C", "temperature_c"},
        {u"\u00B0F", "temperature_f"},
        {u"%", "duty_cycle"},
    }};
    for (const auto& [unit, objectId] : byUnit) {
        if (baseUnit == unit) {
            return &quantityNamed(objectId);
        }
    }
    return nullptr;
}

std::optional<QString> haPrefixError(const QString& prefix) {
    if (prefix.isEmpty()) {
        return QStringLiteral("the Home Assistant discovery prefix is empty");
    }
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')) ||
        prefix.contains(QChar(0))) {
        return QStringLiteral("the Home Assistant discovery prefix '%1' contains a wildcard "
                              "('+' or '#') or a NUL")
            .arg(prefix);
    }
    if (prefix.startsWith(QLatin1Char('$'))) {
        return QStringLiteral("the Home Assistant discovery prefix '%1' starts with '$', which "
                              "brokers keep for themselves")
            .arg(prefix);
    }
    if (prefix.split(QLatin1Char('/')).contains(QString())) {
        return QStringLiteral("the Home Assistant discovery prefix '%1' has an empty level "
                              "(a '/' at its start or end, or two together)")
            .arg(prefix);
    }
    return std::nullopt;
}

QString haNodeId(const QString& topic) {
    QString slug = topic;
    for (QChar& c : slug) {
        const char16_t u = c.unicode();
        const bool kept = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                          (u >= '0' && u <= '9') || u == '_' || u == '-';
        if (!kept) {
            c = QLatin1Char('_');
        }
    }
    const QByteArray hash =
        QCryptographicHash::hash(topic.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return QStringLiteral("velkor_") + slug + QLatin1Char('_') + QString::fromLatin1(hash);
}

QByteArray haConfigTopic(const HaDevice& d, const HaQuantity& q) {
    return configTopic(d, "sensor", q.objectId);
}

QByteArray haStateTopic(const HaDevice& d, const HaQuantity& q) {
    return (d.topic + QStringLiteral("/reading/") + QLatin1String(q.objectId)).toUtf8();
}

QByteArray haConfig(const HaDevice& d, const HaQuantity& q) {
    QJsonObject config = common(d, QString::fromLatin1(q.objectId), q.name);
    const QString state = QString::fromUtf8(haStateTopic(d, q));
    config.insert(QStringLiteral("state_topic"), state);
    config.insert(QStringLiteral("json_attributes_topic"), state);
    config.insert(QStringLiteral("value_template"), QString::fromLatin1(q.valueTemplate));
    config.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(q.unit));
    if (q.deviceClass) {
        config.insert(QStringLiteral("device_class"), QString::fromLatin1(q.deviceClass));
    }
    config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QByteArray haJudgeConfigTopic(const HaDevice& d) {
    return configTopic(d, "binary_sensor", "judge");
}

QByteArray haJudgeConfig(const HaDevice& d) {
    QJsonObject config = common(d, QStringLiteral("judge"), "Pass/Fail");
    config.insert(QStringLiteral("state_topic"), d.topic + QStringLiteral("/reading"));
    // The judge is "pass" or "Fail"; empty before the first verdict, which
    // is no state.
    config.insert(QStringLiteral("value_template"),
                  QStringLiteral("{{ value_json.judge if value_json.judge else None }}"));
    config.insert(QStringLiteral("payload_on"), QStringLiteral("Fail"));
    config.insert(QStringLiteral("payload_off"), QStringLiteral("pass"));
    config.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

} // namespace velkor::mqtt
