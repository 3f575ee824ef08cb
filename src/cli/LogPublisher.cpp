#include "cli/LogPublisher.h"

#include "cli/CliOptions.h"
#include "json/LoggedReading.h"

#include <QMetaObject>
#include <chrono>
#include <thread>

namespace velkor::cli {

namespace {

// After the input's end, queued rows are waited for while the broker takes
// at least one of them in this long.
constexpr std::chrono::milliseconds kDrainStall{3000};
constexpr std::chrono::milliseconds kDrainPoll{20};

mqtt::MqttPublisherOptions publisherOptions(const LogOptions& options) {
    mqtt::MqttPublisherOptions o;
    o.url = *options.mqtt;
    o.caFile = options.mqttCaFile;
    return o;
}

} // namespace

LogPublisher::LogPublisher(const LogOptions& options)
    : publisher_(std::make_unique<mqtt::MqttPublisher>(
          publisherOptions(options), [this](const mqtt::MqttEvent& e) { event(e); })) {}

LogPublisher::~LogPublisher() {
    // The thread ends before the handler's object goes.
    publisher_.reset();
}

std::optional<QString> LogPublisher::start() {
    return publisher_->start();
}

void LogPublisher::event(const mqtt::MqttEvent& e) {
    // One line each, whole, from the publisher's thread.
    reportError(e.message);
    if (e.kind == mqtt::MqttEventKind::Fatal && !failed_.exchange(true)) {
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                if (fatal) {
                    fatal();
                }
            },
            Qt::QueuedConnection);
    }
}

void LogPublisher::publish(const LogRecord& row, const Reading& reading, const QDateTime& moment) {
    publisher_->publish(json::loggedReading(row, moment, json::readingMarks(reading)));
}

void LogPublisher::finish(bool drain) {
    if (drain && !failed_.load()) {
        auto pending = [this] {
            const mqtt::MqttPublisherStats s = publisher_->stats();
            return s.waiting + s.inFlight;
        };
        auto last = pending();
        auto progress = std::chrono::steady_clock::now();
        while (last > 0 && !failed_.load()) {
            std::this_thread::sleep_for(kDrainPoll);
            const auto now = std::chrono::steady_clock::now();
            if (const auto p = pending(); p < last) {
                last = p;
                progress = now;
            } else if (now - progress >= kDrainStall) {
                break;
            }
        }
    }
    publisher_->stop();
}

} // namespace velkor::cli
