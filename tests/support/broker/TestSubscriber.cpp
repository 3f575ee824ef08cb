#include "support/broker/TestSubscriber.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <mosquitto.h>

namespace velkor::test {

TestSubscriber::TestSubscriber(Options options) : options_(std::move(options)) {
    mosquitto_lib_init();
    const QByteArray id = options_.clientId.toUtf8();
    mosq_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), options_.cleanSession, this);
    if (!mosq_) {
        error_ = QStringLiteral("mosquitto_new failed");
        return;
    }
    mosquitto_connect_callback_set(mosq_, &TestSubscriber::onConnect);
    mosquitto_subscribe_callback_set(mosq_, &TestSubscriber::onSubscribe);
    mosquitto_message_callback_set(mosq_, &TestSubscriber::onMessage);
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    if (!options_.user.isEmpty()) {
        mosquitto_username_pw_set(mosq_, options_.user.toUtf8().constData(),
                                  options_.password.toUtf8().constData());
    }
    if (const int rc = mosquitto_connect(mosq_, "127.0.0.1", options_.port, 60)) {
        error_ = QStringLiteral("cannot connect: ") + QString::fromUtf8(mosquitto_strerror(rc));
        return;
    }
    if (const int rc = mosquitto_loop_start(mosq_)) {
        error_ = QStringLiteral("cannot start: ") + QString::fromUtf8(mosquitto_strerror(rc));
    }
}

TestSubscriber::~TestSubscriber() {
    if (mosq_) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
}

void TestSubscriber::onConnect(mosquitto* mosq, void* self, int rc) {
    auto* t = static_cast<TestSubscriber*>(self);
    if (rc != 0) {
        return;
    }
    for (const QString& topic : t->options_.topics) {
        mosquitto_subscribe(mosq, nullptr, topic.toUtf8().constData(), 1);
    }
}

void TestSubscriber::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* t = static_cast<TestSubscriber*>(self);
    std::lock_guard lock(t->mutex_);
    t->subscribed_ = true;
    t->changed_.notify_all();
}

void TestSubscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* t = static_cast<TestSubscriber*>(self);
    Message m;
    m.topic = QString::fromUtf8(message->topic);
    m.payload = QByteArray(static_cast<const char*>(message->payload), message->payloadlen);
    m.retained = message->retain;
    std::lock_guard lock(t->mutex_);
    t->messages_.push_back(std::move(m));
    t->changed_.notify_all();
}

bool TestSubscriber::waitSubscribed(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return subscribed_; });
}

bool TestSubscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                             std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(messages_); });
}

std::vector<TestSubscriber::Message> TestSubscriber::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<TestSubscriber::Message> TestSubscriber::messagesOn(const QString& topic) const {
    std::vector<Message> on;
    for (Message& m : messages()) {
        if (m.topic == topic) {
            on.push_back(std::move(m));
        }
    }
    return on;
}

std::vector<qint64> TestSubscriber::numbersOn(const QString& topic) const {
    std::vector<qint64> numbers;
    for (const Message& m : messagesOn(topic)) {
        numbers.push_back(
            QJsonDocument::fromJson(m.payload).object().value(QLatin1String("no")).toInteger(-1));
    }
    return numbers;
}

QStringList TestSubscriber::textsOn(const QString& topic) const {
    QStringList texts;
    for (const Message& m : messagesOn(topic)) {
        texts << QString::fromUtf8(m.payload);
    }
    return texts;
}

} // namespace velkor::test
