#include "cli/LabOptions.h"

#include "cli/CliOptions.h"
#include "cli/LogOptions.h"
#include "mqtt/HaDiscovery.h"

#include <QtGlobal>

namespace velkor::cli {

namespace {

const QString kHaOption = QStringLiteral("--ha-discovery");

std::optional<QString> environment(const char* name) {
    return qEnvironmentVariableIsSet(name) ? std::optional(qEnvironmentVariable(name))
                                           : std::nullopt;
}

} // namespace

std::optional<QString> takeHaDiscovery(QStringList& args) {
    std::optional<QString> prefix;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == kHaOption) {
            prefix = QString::fromLatin1(mqtt::kHaDefaultPrefix);
            args.removeAt(i);
        } else if (args[i].startsWith(kHaOption + QLatin1Char('='))) {
            prefix = args[i].mid(kHaOption.size() + 1);
            args.removeAt(i);
        } else {
            ++i;
        }
    }
    return prefix;
}

QString readLabOptions(const CliOptions& opts, const std::optional<QString>& haPrefix,
                       LogOptions& o) {
    if (haPrefix) {
        if (!o.mqtt) {
            return QStringLiteral(
                "--ha-discovery needs --mqtt URL: the entities live on the broker");
        }
        if (const auto error = mqtt::haPrefixError(*haPrefix)) {
            return QStringLiteral("--ha-discovery: %1").arg(*error);
        }
        o.haPrefix = haPrefix;
    }
    if (const auto url = opts.value(QStringLiteral("--influx"))) {
        const influx::InfluxUrlParse parsed = influx::parseInfluxUrl(
            *url, environment(kInfluxTokenVariable), environment(kInfluxPasswordVariable));
        if (!parsed.target) {
            return QStringLiteral("--influx: %1").arg(parsed.error);
        }
        o.influx = parsed.target;
    }
    return {};
}

} // namespace velkor::cli
