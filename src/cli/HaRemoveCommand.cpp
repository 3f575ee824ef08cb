#include "cli/HaRemoveCommand.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LabOptions.h"
#include "cli/LogOptions.h"
#include "mqtt/HaDiscovery.h"
#include "mqtt/MqttPublisher.h"

#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>

namespace velkor::cli {

namespace {

// How long the broker is given to be reached and to take the removals.
constexpr std::chrono::seconds kRemoveTimeout{30};

} // namespace

int runHaRemove(const QStringList& givenArgs) {
    QStringList args = givenArgs;
    const QString prefix =
        takeHaDiscovery(args).value_or(QString::fromLatin1(mqtt::kHaDefaultPrefix));
    const CliOptions opts(args, {QStringLiteral("--mqtt"), QStringLiteral("--mqtt-cafile")},
                          {QStringLiteral("--ha-remove")});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    QString error = opts.error();
    const auto url = opts.value(QStringLiteral("--mqtt"));
    if (error.isEmpty() && (!url || !opts.positional().isEmpty())) {
        error = QStringLiteral("--ha-remove takes --mqtt URL (and --ha-discovery=PREFIX, "
                               "--mqtt-cafile FILE), no input: it removes and ends");
    }
    std::optional<mqtt::MqttUrl> broker;
    if (error.isEmpty()) {
        std::optional<QString> envPassword;
        if (qEnvironmentVariableIsSet(kMqttPasswordVariable)) {
            envPassword = qEnvironmentVariable(kMqttPasswordVariable);
        }
        const mqtt::MqttUrlParse parsed = mqtt::parseMqttUrl(*url, envPassword);
        broker = parsed.url;
        if (!broker) {
            error = QStringLiteral("--mqtt: %1").arg(parsed.error);
        }
    }
    if (error.isEmpty()) {
        if (const auto prefixError = mqtt::haPrefixError(prefix)) {
            error = QStringLiteral("--ha-discovery: %1").arg(*prefixError);
        }
    }
    if (!error.isEmpty()) {
        reportError(error);
        return kExitUsage;
    }

    mqtt::MqttPublisherOptions o;
    o.url = *broker;
    o.caFile = opts.value(QStringLiteral("--mqtt-cafile")).value_or(QString());
    o.status = false; // this is no logger: its status stays as it is
    std::atomic<bool> fatal{false};
    mqtt::MqttPublisher publisher(o, [&fatal](const mqtt::MqttEvent& e) {
        reportError(e.message);
        if (e.kind == mqtt::MqttEventKind::Fatal) {
            fatal = true;
        }
    });
    if (const auto startError = publisher.start()) {
        reportError(QStringLiteral("%1: %2").arg(broker->brokerText(), *startError));
        return kExitUsage;
    }
    const mqtt::HaDevice device{prefix, broker->topic, {}, {}};
    for (const mqtt::HaQuantity& q : mqtt::haQuantities()) {
        publisher.keepRetained(mqtt::haConfigTopic(device, q), {});
        publisher.keepRetained(mqtt::haStateTopic(device, q), {});
    }
    publisher.keepRetained(mqtt::haJudgeConfigTopic(device), {});

    const auto until = std::chrono::steady_clock::now() + kRemoveTimeout;
    while (!fatal && std::chrono::steady_clock::now() < until &&
           publisher.stats().retainedPending > 0) {
        QThread::msleep(20);
    }
    if (!publisher.stop(std::chrono::milliseconds(0)) || fatal) {
        if (!fatal) {
            reportError(QStringLiteral("MQTT broker %1 did not take the removal within %2 s")
                            .arg(broker->brokerText())
                            .arg(kRemoveTimeout.count()));
        }
        return kExitInput;
    }
    std::printf("removed the Home Assistant entities of %s (node %s, prefix %s) from %s\n",
                qPrintable(broker->topic), qPrintable(mqtt::haNodeId(broker->topic)),
                qPrintable(prefix), qPrintable(broker->brokerText()));
    return kExitOk;
}

} // namespace velkor::cli
