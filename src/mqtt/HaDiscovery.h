#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <span>

namespace velkor::mqtt {

// Home Assistant's MQTT discovery for one logger: what it announces so that
// the meter appears in Home Assistant by itself.
//
// A multimeter changes function, and one entity must never change its unit
// (Home Assistant's long-term statistics would break), so each quantity is
// an entity of its own: DC voltage, AC voltage, DC current, AC current,
// resistance, capacitance, frequency, temperature in °C and in °F, duty
// cycle. Each is announced when its first row is logged, and gets the rows
// of its quantity on a topic of its own, TOPIC/reading/QUANTITY (the row's
// JSON, retained: Home Assistant shows the newest one and the row's fields
// as attributes). A Pass/Fail binary sensor (device class problem: on for
// Fail) reads the judge of every row from TOPIC/reading. All share the
// logger's TOPIC/status for their availability.
//
// Configs go to PREFIX/sensor/NODE_ID/QUANTITY/config and
// PREFIX/binary_sensor/NODE_ID/judge/config, retained.
struct HaQuantity {
    const char* objectId;      // [a-z_], also the end of its state topic
    const char* name;          // the entity's own name, after the device's
    const char* deviceClass;   // Home Assistant's, for the unit below; nullptr: none
    const char* unit;          // one of those Home Assistant takes for the class
    const char* valueTemplate; // the state from the row's JSON, in `unit`
};

// Every quantity there is (the removal clears them all).
std::span<const HaQuantity> haQuantities();

// The quantity of a row: by its base unit (V, A, Ω, F, Hz, °C, °F, %),
// voltage and current parted into DC and AC by the function ("AC" or any
// other). Nothing for a row without a unit the table knows.
const HaQuantity* haQuantity(QStringView function, QStringView baseUnit);

inline constexpr const char* kHaDefaultPrefix = "homeassistant";

// Why PREFIX cannot be a discovery prefix (empty, wildcards, '$' first, an
// empty level), or nothing.
std::optional<QString> haPrefixError(const QString& prefix);

struct HaDevice {
    QString prefix = QString::fromLatin1(kHaDefaultPrefix);
    QString topic;     // the logger's topic (bench/3)
    QString model;     // the meter variant
    QString swVersion; // velkor-cli --version
};

// The node id: "velkor_", the topic with every character outside
// [a-zA-Z0-9_-] turned into '_', then '_' and 8 hexadecimal digits of a hash
// of the exact topic, so that two topics never share one ("bench/3" ->
// "velkor_bench_3_XXXXXXXX"). Stable: the same topic gives the same id in
// every run, so the entities and their history stay.
QString haNodeId(const QString& topic);

QByteArray haConfigTopic(const HaDevice& device, const HaQuantity& quantity);
QByteArray haStateTopic(const HaDevice& device, const HaQuantity& quantity);
// The sensor's config: name, unique_id, state_topic and json_attributes_topic,
// value_template, unit_of_measurement, device_class (when there is one),
// state_class measurement, availability_topic with payload_available online
// and payload_not_available offline, the device (identifiers, name, model,
// sw_version) and the origin.
QByteArray haConfig(const HaDevice& device, const HaQuantity& quantity);

QByteArray haJudgeConfigTopic(const HaDevice& device);
// The Pass/Fail binary sensor's config: state_topic TOPIC/reading,
// value_template on the judge, payload_on "Fail", payload_off "pass",
// device_class problem, availability and device as above.
QByteArray haJudgeConfig(const HaDevice& device);

} // namespace velkor::mqtt
