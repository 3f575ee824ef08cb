#include "cli/LogOptions.h"

#include "cli/AlarmOptions.h"
#include "cli/CliOptions.h"
#include "cli/LabOptions.h"
#include "cli/LogHttp.h"
#include "cli/OutputNames.h"

#include <QtGlobal>
#include <climits>

namespace velkor::cli {

namespace {

// The longest checkpoint interval: its milliseconds fit a timer.
constexpr int kMaxCheckpointSeconds = INT_MAX / 1000;

std::optional<int> wholeNumber(const std::optional<QString>& text, int max) {
    bool ok = false;
    const int n = text->toInt(&ok);
    if (!ok || n < 0 || n > max) {
        return std::nullopt;
    }
    return n;
}

} // namespace

QString sourceName(const LogOptions& o) {
    if (o.source == LogOptions::Source::Hid && o.path.isEmpty()) {
        return QStringLiteral("hid");
    }
    if (o.source == LogOptions::Source::Stream && o.path == QLatin1String("-")) {
        return QStringLiteral("stdin");
    }
    return o.path;
}

std::optional<LogOptions> parseLogOptions(const QStringList& givenArgs, bool* help) {
    QStringList args = givenArgs;
    const std::optional<QString> haPrefix = takeHaDiscovery(args);
    const CliOptions opts(
        args,
        {QStringLiteral("--variant"), QStringLiteral("--hi"), QStringLiteral("--lo"),
         QStringLiteral("--max-records"), QStringLiteral("--save"), QStringLiteral("--checkpoint"),
         QStringLiteral("--device"), QStringLiteral("--mqtt"), QStringLiteral("--mqtt-cafile"),
         QStringLiteral("--influx"), QStringLiteral("--http"), QStringLiteral("--on-fail"),
         QStringLiteral("--on-pass"), QStringLiteral("--alarm-after")},
        {QStringLiteral("--no-repeat"), QStringLiteral("--hid"), QStringLiteral("--reconnect"),
         QStringLiteral("--http-open"), QStringLiteral("--stop-on-fail"),
         QStringLiteral("--quiet")});
    *help = opts.help();
    if (*help) {
        return std::nullopt;
    }
    QString error = opts.error();
    LogOptions o;
    if (error.isEmpty()) {
        if (const auto v = opts.variant(&error)) {
            o.variant = *v;
        }
    }
    const auto device = opts.value(QStringLiteral("--device"));
    const bool hid = opts.flag(QStringLiteral("--hid"));
    const QStringList& positional = opts.positional();
    if (error.isEmpty()) {
        if (device && hid) {
            error = QStringLiteral("--device and --hid exclude each other");
        } else if (device) {
            o.source = LogOptions::Source::Device;
            o.path = *device;
            if (o.path.isEmpty() || !positional.isEmpty()) {
                error = QStringLiteral("log --device takes a PATH (or COM1 .. COM4) and no FILE");
            }
        } else if (hid) {
            o.source = LogOptions::Source::Hid;
            if (positional.size() > 1) {
                error = QStringLiteral("log --hid takes at most one PATH");
            } else if (!positional.isEmpty()) {
                o.path = positional.first();
            }
        } else if (positional.size() != 1) {
            error = QStringLiteral("log takes one FILE (or -), --device PATH or --hid [PATH]");
        } else {
            o.path = positional.first();
        }
    }
    if (error.isEmpty() && opts.flag(QStringLiteral("--reconnect")) &&
        o.source == LogOptions::Source::Stream) {
        error = QStringLiteral("--reconnect needs --device or --hid");
    }
    o.reconnect = opts.flag(QStringLiteral("--reconnect"));
    o.repeat = !opts.flag(QStringLiteral("--no-repeat"));
    o.hi = opts.value(QStringLiteral("--hi"));
    o.lo = opts.value(QStringLiteral("--lo"));
    o.save = opts.value(QStringLiteral("--save"));
    if (error.isEmpty() && o.save && o.save->isEmpty()) {
        error = QStringLiteral("--save needs a file name");
    }
    if (error.isEmpty() && o.save) {
        error = logFormError(QStringLiteral("--save"), *o.save);
    }
    if (const auto m = opts.value(QStringLiteral("--max-records")); m && error.isEmpty()) {
        const auto n = wholeNumber(m, INT_MAX);
        if (!n) {
            error = QStringLiteral("--max-records needs a whole number from 0 to %1").arg(INT_MAX);
        } else {
            o.maxRecords = *n;
            o.maxRecordsGiven = true;
        }
    }
    if (const auto c = opts.value(QStringLiteral("--checkpoint")); c && error.isEmpty()) {
        const auto n = wholeNumber(c, kMaxCheckpointSeconds);
        if (!n || *n == 0) {
            error = QStringLiteral("--checkpoint needs a whole number of seconds from 1 to %1")
                        .arg(kMaxCheckpointSeconds);
        } else if (!o.save) {
            error = QStringLiteral("--checkpoint needs --save OUT");
        } else {
            o.checkpointSeconds = *n;
        }
    }
    const auto mqttUrl = opts.value(QStringLiteral("--mqtt"));
    const auto caFile = opts.value(QStringLiteral("--mqtt-cafile"));
    if (mqttUrl && error.isEmpty()) {
        std::optional<QString> envPassword;
        if (qEnvironmentVariableIsSet(kMqttPasswordVariable)) {
            envPassword = qEnvironmentVariable(kMqttPasswordVariable);
        }
        const mqtt::MqttUrlParse parsed = mqtt::parseMqttUrl(*mqttUrl, envPassword);
        if (!parsed.url) {
            error = QStringLiteral("--mqtt: %1").arg(parsed.error);
        } else {
            o.mqtt = parsed.url;
        }
    }
    if (caFile && error.isEmpty()) {
        if (!o.mqtt || !o.mqtt->tls) {
            error = QStringLiteral("--mqtt-cafile needs an mqtts:// URL in --mqtt");
        } else if (caFile->isEmpty()) {
            error = QStringLiteral("--mqtt-cafile needs a file name");
        } else {
            o.mqttCaFile = *caFile;
        }
    }
    if (error.isEmpty()) {
        error = readLabOptions(opts, haPrefix, o);
    }
    if (error.isEmpty()) {
        error = readHttpOptions(opts.value(QStringLiteral("--http")),
                                opts.flag(QStringLiteral("--http-open")),
                                qgetenv(kHttpTokenVariable), &o);
    }
    if (error.isEmpty()) {
        error = readAlarmOptions(opts, o);
    }
    if (!error.isEmpty()) {
        reportError(error);
        return std::nullopt;
    }
    return o;
}

} // namespace velkor::cli
