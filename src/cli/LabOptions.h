#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velkor::cli {

class CliOptions;
struct LogOptions;

// The options of log that put the rows into the lab's own systems: Home
// Assistant's MQTT discovery and InfluxDB.

// Takes --ha-discovery and --ha-discovery=PREFIX out of args (PREFIX cannot
// follow as a word of its own: it would read as log's FILE) and gives the
// prefix, Home Assistant's own when none is written; nothing without the
// option.
std::optional<QString> takeHaDiscovery(QStringList& args);

// --ha-discovery (needs --mqtt) and --influx URL into `o`, the InfluxDB
// credentials from VELKOR_INFLUX_TOKEN and VELKOR_INFLUX_PASSWORD. The usage
// error, or empty.
QString readLabOptions(const CliOptions& opts, const std::optional<QString>& haPrefix,
                       LogOptions& o);

inline constexpr const char* kInfluxTokenVariable = "VELKOR_INFLUX_TOKEN";
inline constexpr const char* kInfluxPasswordVariable = "VELKOR_INFLUX_PASSWORD";

} // namespace velkor::cli
