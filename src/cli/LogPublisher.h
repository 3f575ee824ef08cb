#pragma once

#include "cli/FatalRelay.h"
#include "cli/LogOptions.h"
#include "mqtt/HaDiscovery.h"
#include "mqtt/MqttPublisher.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace velkor {
struct AlarmReading;
struct LogRecord;
struct Reading;
} // namespace velkor

namespace velkor::cli {

// velkor-cli log --mqtt: each logged row also goes to the broker as the
// JSON object of the publisher (the fields of the printed CSV row, with the
// unit readable and the value in its base unit). The publisher works on its
// own thread and never holds up the log; what it has to say (the broker
// away, rows dropped, rows never acknowledged) goes to standard error as it
// happens. A broker that refuses the credentials calls `fatal` on the
// caller's thread, with the message already said.
//
// With --ha-discovery the logger also appears in Home Assistant: the
// Pass/Fail sensor is announced at the start, each quantity's sensor with
// its first row, and each row also goes, retained, to its quantity's own
// state topic (see mqtt/HaDiscovery.h). The configs stay on the broker
// when the run ends, so the entities and their history survive restarts.
class LogPublisher {
    FatalRelay relay_; // first: `fatal` below refers to it

public:
    explicit LogPublisher(const LogOptions& options);
    ~LogPublisher();
    LogPublisher(const LogPublisher&) = delete;
    LogPublisher& operator=(const LogPublisher&) = delete;

    // Starts the publisher. An error text for what cannot work at all (an
    // unreadable CA file); the broker itself is reached in the background.
    std::optional<QString> start();

    void publish(const LogRecord& row, const Reading& reading, const QDateTime& moment);
    // An alarm's transition (to Fail, or back to Pass) to TOPIC/alarm, QoS
    // 1, not retained, among the rows in the order it came.
    void publishAlarm(bool failing, const AlarmReading& reading);

    // The orderly end. After the input's end (`drain`), the queued rows are
    // given as long as the broker keeps taking them; after a signal, a few
    // seconds at most. Then "offline" and a clean disconnect.
    void finish(bool drain);

    bool failed() const { return relay_.failed(); }

    // Called on the caller's event loop after a fatal event.
    std::function<void()>& fatal = relay_.fatal;

private:
    void event(const mqtt::MqttEvent& event);

    std::optional<mqtt::HaDevice> ha_;
    QSet<const mqtt::HaQuantity*> announced_;
    std::unique_ptr<mqtt::MqttPublisher> publisher_;
};

} // namespace velkor::cli
