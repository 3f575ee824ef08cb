#pragma once

#include "influx/InfluxUrl.h"
#include "http/ListenAddress.h"
#include "meter/MeterVariant.h"
#include "mqtt/MqttUrl.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace velkor::cli {

// What velkor-cli log is asked to do.
struct LogOptions {
    enum class Source {
        Stream, // FILE, or - for standard input, read to its end
        Device, // --device PATH|COMn: a meter on a serial line
        Hid,    // --hid [PATH]: a meter on the USB cable
    };

    MeterVariant variant = buildVariant();
    std::optional<QString> hi; // as typed; the judge's start limit when not given
    std::optional<QString> lo;
    bool repeat = true;
    // The record menu's largest size limit.
    int maxRecords = 10'000'000;
    bool maxRecordsGiven = false; // --max-records was given
    std::optional<QString> save;
    int checkpointSeconds = 0; // 0: only at the end
    bool reconnect = false;
    Source source = Source::Stream;
    QString path; // FILE or -, the device, or the HID node (empty: the first cable)
    // --mqtt URL: every logged row is published there too.
    std::optional<mqtt::MqttUrl> mqtt;
    QString mqttCaFile; // --mqtt-cafile FILE, for mqtts

    // --ha-discovery[=PREFIX]: the meter announced to Home Assistant under
    // PREFIX (with --mqtt).
    std::optional<QString> haPrefix;
    // --influx URL: every logged row written to InfluxDB too.
    std::optional<influx::InfluxTarget> influx;
    // --http [ADDR:]PORT: the live view served there, asking for httpToken
    // when it is not empty.
    std::optional<http::ListenAddress> http;
    QByteArray httpToken;

    // Alarms (AlarmOptions.cpp): --on-fail CMD and --on-pass CMD run when
    // the judge turns Fail or back to Pass, a transition counting after
    // --alarm-after N readings on the new side; --stop-on-fail ends the run
    // on a transition to Fail. --quiet: no summary on standard error.
    QString onFail;
    QString onPass;
    int alarmAfter = 1;
    bool stopOnFail = false;
    bool quiet = false;
};

// The environment variable that gives the broker's password when the URL
// names a user without one (kept out of the process list).
inline constexpr const char* kMqttPasswordVariable = "VELKOR_MQTT_PASSWORD";

// The input as the rows' records name it: the path given, "hid" for the
// first cable, "stdin" for standard input.
QString sourceName(const LogOptions& options);

// The environment variable that gives the live view's token.
inline constexpr const char* kHttpTokenVariable = "VELKOR_HTTP_TOKEN";

// Reads the options of log. On a usage error prints it and gives nothing.
std::optional<LogOptions> parseLogOptions(const QStringList& args, bool* help);

} // namespace velkor::cli
