#include "cli/LogPublisher.h"

#include "cli/CliOptions.h"
#include "cli/DrainWait.h"
#include "json/LoggedReading.h"
#include "meter/Reading.h"
#include "meter/UnitTable.h"
#include "record/LogRecord.h"
#include "version/VelkorVersion.h"

namespace velkor::cli {

namespace {

mqtt::MqttPublisherOptions publisherOptions(const LogOptions& options) {
    mqtt::MqttPublisherOptions o;
    o.url = *options.mqtt;
    o.caFile = options.mqttCaFile;
    return o;
}

} // namespace

LogPublisher::LogPublisher(const LogOptions& options)
    : publisher_(std::make_unique<mqtt::MqttPublisher>(
          publisherOptions(options), [this](const mqtt::MqttEvent& e) { event(e); })) {
    if (options.haPrefix) {
        ha_ = mqtt::HaDevice{*options.haPrefix, options.mqtt->topic,
                             QString::fromLatin1(variantName(options.variant)),
                             QStringLiteral(VELKOR_VERSION)};
    }
}

LogPublisher::~LogPublisher() {
    // The thread ends before the handler's object goes.
    publisher_.reset();
}

std::optional<QString> LogPublisher::start() {
    if (auto error = publisher_->start()) {
        return error;
    }
    if (ha_) {
        // The Pass/Fail sensor at once; each quantity's sensor with its
        // first row.
        publisher_->keepRetained(mqtt::haJudgeConfigTopic(*ha_), mqtt::haJudgeConfig(*ha_));
    }
    return std::nullopt;
}

void LogPublisher::event(const mqtt::MqttEvent& e) {
    relay_.say(e.message, e.kind == mqtt::MqttEventKind::Fatal);
}

void LogPublisher::publish(const LogRecord& row, const Reading& reading, const QDateTime& moment) {
    QByteArray payload =
        json::readingJson(json::loggedReading(row, moment, json::readingMarks(reading)));
    if (ha_) {
        const auto unit = unitInfo(row.Unit);
        if (const mqtt::HaQuantity* q = unit ? mqtt::haQuantity(row.DCAC, unit->base) : nullptr) {
            if (!announced_.contains(q)) {
                announced_.insert(q);
                publisher_->keepRetained(mqtt::haConfigTopic(*ha_, *q), mqtt::haConfig(*ha_, *q));
            }
            publisher_->keepRetained(mqtt::haStateTopic(*ha_, *q), payload);
        }
    }
    publisher_->publishPayload(std::move(payload));
}

void LogPublisher::finish(bool drain) {
    if (drain && !relay_.failed()) {
        waitWhileDraining(
            [this] {
                const mqtt::MqttPublisherStats s = publisher_->stats();
                return s.waiting + s.inFlight + s.retainedPending;
            },
            [this] { return relay_.failed(); });
    }
    publisher_->stop();
}

} // namespace velkor::cli
