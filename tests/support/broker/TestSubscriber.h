#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace velkor::test {

// A libmosquitto client that subscribes to topics with QoS 1 and keeps
// every message it gets, reconnecting (and subscribing again) by itself.
// With a client id and cleanSession false, the broker keeps its
// subscription and queues messages for it while it is away.
class TestSubscriber {
public:
    struct Message {
        QString topic;
        QByteArray payload;
        bool retained = false;
    };
    struct Options {
        quint16 port = 0;
        QStringList topics;
        QString clientId;
        bool cleanSession = true;
        QString user;
        QString password;
    };

    explicit TestSubscriber(Options options);
    ~TestSubscriber();
    TestSubscriber(const TestSubscriber&) = delete;
    TestSubscriber& operator=(const TestSubscriber&) = delete;

    // Waits until the broker has confirmed the subscriptions.
    bool waitSubscribed(std::chrono::milliseconds timeout);
    // Waits until `done` holds for the messages received so far.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 std::chrono::milliseconds timeout);

    std::vector<Message> messages() const;
    std::vector<Message> messagesOn(const QString& topic) const;
    // The "no" of each message on `topic`, in the order received.
    std::vector<qint64> numbersOn(const QString& topic) const;
    // The payloads on `topic` as texts, in the order received.
    QStringList textsOn(const QString& topic) const;
    QString error() const { return error_; }

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    Options options_;
    mosquitto* mosq_ = nullptr;
    QString error_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    bool subscribed_ = false;
};

} // namespace velkor::test
