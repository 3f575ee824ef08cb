// The publisher against a real Mosquitto broker on 127.0.0.1, started and
// stopped by each test.

#include "mqtt/MqttPublisher.h"
#include "support/broker/ChildProcess.h"
#include "support/broker/MosquittoBroker.h"
#include "support/broker/TestSubscriber.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>

namespace velkor::mqtt {
namespace {

using namespace std::chrono_literals;
using json::JsonReading;
using json::readingJson;
using test::MosquittoBroker;
using test::TestSubscriber;

// Bounds for waiting on things that happen quickly when all is well; they
// only matter when something is broken, so they are generous for a busy
// machine.
constexpr auto kWait = 60s;

// The events a publisher reported, for the test to wait on.
class EventLog {
public:
    MqttPublisher::EventHandler handler() {
        return [this](const MqttEvent& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
            changed_.notify_all();
        };
    }
    bool waitFor(MqttEventKind kind, std::size_t count = 1, std::chrono::milliseconds t = kWait) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, t, [&] { return countLocked(kind) >= count; });
    }
    std::vector<MqttEvent> of(MqttEventKind kind) const {
        std::lock_guard lock(mutex_);
        std::vector<MqttEvent> found;
        std::copy_if(events_.begin(), events_.end(), std::back_inserter(found),
                     [&](const MqttEvent& e) { return e.kind == kind; });
        return found;
    }
    QString all() const {
        std::lock_guard lock(mutex_);
        QString text;
        for (const MqttEvent& e : events_) {
            text += e.message + QLatin1Char('\n');
        }
        return text;
    }

private:
    std::size_t countLocked(MqttEventKind kind) const {
        return static_cast<std::size_t>(std::count_if(
            events_.begin(), events_.end(), [&](const MqttEvent& e) { return e.kind == kind; }));
    }
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<MqttEvent> events_;
};

// Polls a condition that has no notification of its own (publisher
// statistics), up to a bound.
template <class Done> bool waitUntil(Done done, std::chrono::milliseconds timeout = kWait) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return done();
        }
        QThread::msleep(2);
    }
    return true;
}

std::string describeStats(const MqttPublisherStats& s) {
    return "connected " + std::to_string(s.connected) + ", attempts " + std::to_string(s.attempts) +
           ", connections " + std::to_string(s.connections) + ", waiting " +
           std::to_string(s.waiting) + ", in flight " + std::to_string(s.inFlight) +
           ", delivered " + std::to_string(s.delivered) + ", dropped " + std::to_string(s.dropped);
}

QString describe(const MqttPublisher& p) {
    return QString::fromStdString(describeStats(p.stats()));
}

MqttUrl urlFor(quint16 port, const QString& topic = QStringLiteral("velkor/test"),
               const QString& user = {}, const std::optional<QString>& password = {},
               bool tls = false) {
    MqttUrl url;
    url.tls = tls;
    url.host = QStringLiteral("127.0.0.1");
    url.port = port;
    url.user = user;
    url.password = password;
    url.topic = topic;
    return url;
}

JsonReading readingNo(qint64 no) {
    JsonReading r;
    r.no = no;
    r.timestamp = QDateTime::currentDateTime();
    r.function = QStringLiteral("DC");
    r.value = QString::number(no % 1000) + QStringLiteral(".5");
    r.unit = QStringLiteral("mV");
    r.si = (static_cast<double>(no % 1000) + 0.5) / 1000.0;
    r.judge = QStringLiteral("GO");
    r.marks = {QStringLiteral("AUTO")};
    return r;
}

MqttPublisherOptions fastOptions(const MqttUrl& url) {
    MqttPublisherOptions o;
    o.url = url;
    o.minBackoff = 50ms;
    o.maxBackoff = 400ms;
    return o;
}

TestSubscriber::Options subscriberFor(quint16 port,
                                      const QString& topic = QStringLiteral("velkor/test")) {
    TestSubscriber::Options o;
    o.port = port;
    o.topics = {topic + QStringLiteral("/reading"), topic + QStringLiteral("/status")};
    return o;
}

bool hasAllNumbers(const std::vector<TestSubscriber::Message>& messages, const QString& topic,
                   std::size_t n) {
    return std::count_if(messages.begin(), messages.end(), [&](const TestSubscriber::Message& m) {
               return m.topic == topic;
           }) >= static_cast<std::ptrdiff_t>(n);
}

std::vector<qint64> range(qint64 from, qint64 to) {
    std::vector<qint64> r;
    for (qint64 i = from; i <= to; ++i) {
        r.push_back(i);
    }
    return r;
}

const QString kReading = QStringLiteral("velkor/test/reading");
const QString kStatus = QStringLiteral("velkor/test/status");

TEST(MqttBroker, EveryRowArrivesOnceInOrderWithItsFields) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber sub(subscriberFor(broker.port()));
    ASSERT_TRUE(sub.waitSubscribed(kWait)) << qPrintable(sub.error());

    EventLog events;
    MqttPublisher publisher(fastOptions(urlFor(broker.port())), events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    constexpr int kRows = 3000;
    std::vector<QByteArray> sent;
    for (int i = 1; i <= kRows; ++i) {
        JsonReading r = readingNo(i);
        if (i == 7) {
            r.value = QStringLiteral("OL");
            r.unit = QStringLiteral("MΩ");
            r.si = std::nullopt;
            r.judge = QStringLiteral("HI \"over\"");
            r.marks = {};
        }
        sent.push_back(readingJson(r));
        ASSERT_TRUE(publisher.publish(r));
    }
    ASSERT_TRUE(sub.waitFor([](const auto& m) { return hasAllNumbers(m, kReading, kRows); }, kWait))
        << "got " << sub.messagesOn(kReading).size() << "; " << describe(publisher).toStdString()
        << qPrintable(events.all());
    EXPECT_TRUE(publisher.stop());
    EXPECT_EQ(sub.numbersOn(kReading), range(1, kRows));
    const auto got = sub.messagesOn(kReading);
    for (int i = 0; i < kRows; ++i) {
        ASSERT_EQ(got[static_cast<std::size_t>(i)].payload, sent[static_cast<std::size_t>(i)]);
    }
    const QJsonObject overload = QJsonDocument::fromJson(got[6].payload).object();
    EXPECT_EQ(overload.value(QLatin1String("value")).toString(), QStringLiteral("OL"));
    EXPECT_EQ(overload.value(QLatin1String("unit")).toString(), QStringLiteral("MΩ"));
    EXPECT_TRUE(overload.value(QLatin1String("si")).isNull());
    EXPECT_EQ(overload.value(QLatin1String("judge")).toString(), QStringLiteral("HI \"over\""));
    const MqttPublisherStats stats = publisher.stats();
    EXPECT_EQ(stats.delivered, static_cast<std::uint64_t>(kRows));
    EXPECT_EQ(stats.dropped, 0u);
    EXPECT_EQ(stats.connections, 1u);
    EXPECT_TRUE(events.of(MqttEventKind::RowsUndelivered).empty()) << qPrintable(events.all());
}

TEST(MqttBroker, StatusIsRetainedOnlineThenOfflineOnStop) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber sub(subscriberFor(broker.port()));
    ASSERT_TRUE(sub.waitSubscribed(kWait));

    EventLog events;
    MqttPublisher publisher(fastOptions(urlFor(broker.port())), events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    ASSERT_TRUE(sub.waitFor(
        [](const auto& m) {
            return std::any_of(m.begin(), m.end(), [](const auto& x) {
                return x.topic == kStatus && x.payload == "online";
            });
        },
        kWait));
    EXPECT_TRUE(events.waitFor(MqttEventKind::Connected));

    // A dashboard that comes later is told at once: the status is retained.
    {
        TestSubscriber late(subscriberFor(broker.port()));
        ASSERT_TRUE(late.waitFor([](const auto& m) { return !m.empty(); }, kWait));
        const auto first = late.messagesOn(kStatus);
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(first.front().payload, QByteArray("online"));
        EXPECT_TRUE(first.front().retained);
    }

    publisher.publish(readingNo(1));
    EXPECT_TRUE(publisher.stop());
    ASSERT_TRUE(sub.waitFor(
        [](const auto& m) {
            return std::any_of(m.begin(), m.end(), [](const auto& x) {
                return x.topic == kStatus && x.payload == "offline";
            });
        },
        kWait));
    EXPECT_EQ(sub.textsOn(kStatus),
              (QStringList{QStringLiteral("online"), QStringLiteral("offline")}));
    EXPECT_EQ(sub.numbersOn(kReading), range(1, 1));
    EXPECT_FALSE(publisher.publish(readingNo(2))); // stopped

    TestSubscriber after(subscriberFor(broker.port()));
    ASSERT_TRUE(after.waitFor([](const auto& m) { return !m.empty(); }, kWait));
    const auto retained = after.messagesOn(kStatus);
    ASSERT_EQ(retained.size(), 1u);
    EXPECT_EQ(retained.front().payload, QByteArray("offline"));
    EXPECT_TRUE(retained.front().retained);
}

TEST(MqttBroker, TheWillSaysOfflineWhenThePublisherIsKilled) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber sub(subscriberFor(broker.port()));
    ASSERT_TRUE(sub.waitSubscribed(kWait));

    test::ChildProcess helper;
    ASSERT_TRUE(
        helper.start(QStringLiteral(VELKOR_MQTT_HELPER),
                     {QStringLiteral("mqtt://127.0.0.1:%1/velkor/test").arg(broker.port())}));
    // Ready when it says it is connected.
    const QByteArray said = helper.waitForOutput("connected\n", kWait);
    ASSERT_TRUE(said.contains("connected\n")) << said.constData();
    ASSERT_TRUE(sub.waitFor(
        [](const auto& m) {
            return std::any_of(m.begin(), m.end(), [](const auto& x) {
                return x.topic == kStatus && x.payload == "online";
            });
        },
        kWait));

    helper.signal(SIGKILL); // no chance to say goodbye
    ASSERT_TRUE(helper.wait(kWait));
    EXPECT_EQ(helper.termSignal(), SIGKILL);
    ASSERT_TRUE(sub.waitFor(
        [](const auto& m) {
            return std::any_of(m.begin(), m.end(), [](const auto& x) {
                return x.topic == kStatus && x.payload == "offline";
            });
        },
        kWait))
        << qPrintable(broker.output());
    EXPECT_EQ(sub.textsOn(kStatus),
              (QStringList{QStringLiteral("online"), QStringLiteral("offline")}));

    TestSubscriber after(subscriberFor(broker.port()));
    ASSERT_TRUE(after.waitFor([](const auto& m) { return !m.empty(); }, kWait));
    ASSERT_EQ(after.textsOn(kStatus), QStringList{QStringLiteral("offline")});
    EXPECT_TRUE(after.messagesOn(kStatus).front().retained);
}

// The number of times each row arrived on `topic`, and the rows in the
// order they first arrived.
struct Arrivals {
    std::map<qint64, int> times;
    std::vector<qint64> firsts;
};

Arrivals arrivals(const TestSubscriber& sub, const QString& topic) {
    Arrivals a;
    for (const qint64 n : sub.numbersOn(topic)) {
        if (++a.times[n] == 1) {
            a.firsts.push_back(n);
        }
    }
    return a;
}

// The broker goes away in the middle of a run, with rows in flight that it
// never read, and comes back: the rows in flight are sent again, the rows
// logged while it was away follow, all in order. A row arrives twice at
// most, and only one the broker may have had before the break (QoS 1 sends
// again what was not acknowledged).
TEST(MqttBroker, RowsLoggedWhileTheBrokerIsAwayArriveWhenItReturns) {
    MosquittoBroker::Options brokerOptions;
    brokerOptions.persistence = true; // the subscriber's session outlives the restart
    MosquittoBroker broker(brokerOptions);
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber::Options subOptions = subscriberFor(broker.port());
    subOptions.clientId = QStringLiteral("velkor-test-dashboard");
    subOptions.cleanSession = false;
    TestSubscriber sub(subOptions);
    ASSERT_TRUE(sub.waitSubscribed(kWait));

    EventLog events;
    MqttPublisherOptions options = fastOptions(urlFor(broker.port()));
    options.maxBackoff = 200ms;
    MqttPublisher publisher(options, events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    ASSERT_TRUE(events.waitFor(MqttEventKind::Connected));

    constexpr int kBefore = 200, kInFlight = 60, kAway = 300, kAfter = 200;
    constexpr int kAll = kBefore + kInFlight + kAway + kAfter;
    for (int i = 1; i <= kBefore; ++i) {
        publisher.publish(readingNo(i));
    }
    ASSERT_TRUE(
        sub.waitFor([](const auto& m) { return hasAllNumbers(m, kReading, kBefore); }, kWait));
    ASSERT_TRUE(waitUntil([&] { return publisher.stats().delivered == kBefore; }));

    // Rows handed to a broker that will never read them.
    broker.pause();
    for (int i = kBefore + 1; i <= kBefore + kInFlight; ++i) {
        publisher.publish(readingNo(i));
    }
    ASSERT_TRUE(waitUntil([&] { return publisher.stats().inFlight == kInFlight; }))
        << describeStats(publisher.stats());
    broker.stopUnread();
    ASSERT_TRUE(events.waitFor(MqttEventKind::ConnectionLost)) << qPrintable(events.all());
    // The broker may have taken a row or so on its way out; the rest stay
    // in flight, waiting to be sent again.
    const MqttPublisherStats atBreak = publisher.stats();
    EXPECT_GT(atBreak.inFlight, 0u);
    EXPECT_EQ(atBreak.delivered + atBreak.inFlight,
              static_cast<std::uint64_t>(kBefore + kInFlight));

    for (int i = kBefore + kInFlight + 1; i <= kBefore + kInFlight + kAway; ++i) {
        publisher.publish(readingNo(i));
    }
    // The publisher keeps trying, and says why once.
    ASSERT_TRUE(events.waitFor(MqttEventKind::ConnectFailed)) << qPrintable(events.all());
    const std::uint64_t attempts = publisher.stats().attempts;
    ASSERT_TRUE(waitUntil([&] { return publisher.stats().attempts >= attempts + 2; }));
    EXPECT_EQ(events.of(MqttEventKind::ConnectFailed).size(), 1u) << qPrintable(events.all());
    EXPECT_TRUE(events.of(MqttEventKind::ConnectFailed)
                    .front()
                    .message.contains(QStringLiteral("connection refused")))
        << qPrintable(events.all());
    EXPECT_EQ(publisher.stats().delivered, atBreak.delivered);

    ASSERT_EQ(broker.start(), QString());
    ASSERT_TRUE(events.waitFor(MqttEventKind::Connected, 2)) << qPrintable(events.all());
    for (int i = kAll - kAfter + 1; i <= kAll; ++i) {
        publisher.publish(readingNo(i));
    }
    ASSERT_TRUE(sub.waitFor(
        [](const auto& m) {
            std::set<qint64> seen;
            for (const auto& x : m) {
                if (x.topic == kReading) {
                    seen.insert(QJsonDocument::fromJson(x.payload)
                                    .object()
                                    .value(QLatin1String("no"))
                                    .toInteger());
                }
            }
            return seen.size() == kAll;
        },
        kWait))
        << describeStats(publisher.stats()) << qPrintable(events.all())
        << qPrintable(broker.output());
    EXPECT_TRUE(publisher.stop());

    const Arrivals a = arrivals(sub, kReading);
    EXPECT_EQ(a.firsts, range(1, kAll));
    for (const auto& [no, times] : a.times) {
        EXPECT_LE(times, no <= kBefore + kInFlight ? 2 : 1) << "row " << no;
    }
    EXPECT_EQ(publisher.stats().delivered, static_cast<std::uint64_t>(kAll));
    EXPECT_EQ(publisher.stats().dropped, 0u);
    const QString again = events.of(MqttEventKind::Connected).back().message;
    EXPECT_TRUE(again.contains(QStringLiteral("connected again"))) << qPrintable(again);
}

struct CredentialsCase {
    const char* name;
    const char* user;
    const char* password; // nullptr: none
    bool accepted;
    const char* reason;
};

class MqttBrokerCredentials : public ::testing::TestWithParam<CredentialsCase> {};

TEST_P(MqttBrokerCredentials, RefusedCredentialsEndThePublisher) {
    const CredentialsCase& c = GetParam();
    MosquittoBroker::Options brokerOptions;
    brokerOptions.user = QStringLiteral("alice");
    brokerOptions.password = QStringLiteral("s3cret");
    MosquittoBroker broker(brokerOptions);
    ASSERT_EQ(broker.start(), QString());

    EventLog events;
    const std::optional<QString> password =
        c.password ? std::optional<QString>(QString::fromUtf8(c.password)) : std::nullopt;
    MqttPublisher publisher(fastOptions(urlFor(broker.port(), QStringLiteral("velkor/test"),
                                               QString::fromUtf8(c.user), password)),
                            events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    if (c.accepted) {
        TestSubscriber::Options subOptions = subscriberFor(broker.port());
        subOptions.user = QStringLiteral("alice");
        subOptions.password = QStringLiteral("s3cret");
        TestSubscriber sub(subOptions);
        ASSERT_TRUE(sub.waitSubscribed(kWait));
        ASSERT_TRUE(publisher.publish(readingNo(1)));
        ASSERT_TRUE(
            sub.waitFor([](const auto& m) { return hasAllNumbers(m, kReading, 1); }, kWait));
        EXPECT_TRUE(publisher.stop());
        EXPECT_EQ(publisher.fatalError(), std::nullopt);
        return;
    }
    ASSERT_TRUE(events.waitFor(MqttEventKind::Fatal)) << qPrintable(events.all());
    const QString message = events.of(MqttEventKind::Fatal).front().message;
    EXPECT_TRUE(message.contains(QStringLiteral("127.0.0.1:%1").arg(broker.port())))
        << qPrintable(message);
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.reason))) << qPrintable(message);
    EXPECT_FALSE(message.contains(QStringLiteral("wrong"))) << "the password shows";
    ASSERT_TRUE(publisher.fatalError());
    EXPECT_EQ(*publisher.fatalError(), message);
    EXPECT_FALSE(publisher.publish(readingNo(1)));
    EXPECT_FALSE(publisher.stop());
    // It gave up at the first refusal instead of trying again.
    EXPECT_EQ(publisher.stats().attempts, 1u);
    EXPECT_EQ(publisher.stats().connections, 0u);
    EXPECT_TRUE(events.of(MqttEventKind::ConnectFailed).empty()) << qPrintable(events.all());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MqttBrokerCredentials,
    ::testing::Values(CredentialsCase{"right", "alice", "s3cret", true, ""},
                      CredentialsCase{"wrongPassword", "alice", "wrong", false,
                                      "refused the login: not authorised (as user 'alice')"},
                      CredentialsCase{"unknownUser", "mallory", "wrong", false,
                                      "as user 'mallory'"},
                      CredentialsCase{"anonymous", "", nullptr, false, "without a user name"}),
    [](const auto& info) { return std::string(info.param.name); });

// The broker takes the connection but answers nothing (stopped with
// SIGSTOP): rows pile up, the oldest go, and once the broker answers the
// newest arrive and the publisher says how many were dropped.
TEST(MqttBroker, AFullQueueDropsTheOldestRowsAndSaysHowMany) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber sub(subscriberFor(broker.port()));
    ASSERT_TRUE(sub.waitSubscribed(kWait));

    broker.pause();
    EventLog events;
    MqttPublisherOptions options = fastOptions(urlFor(broker.port()));
    options.queueCapacity = 10;
    MqttPublisher publisher(options, events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    for (int i = 1; i <= 25; ++i) {
        ASSERT_TRUE(publisher.publish(readingNo(i)));
    }
    EXPECT_EQ(publisher.stats().dropped, 15u);
    ASSERT_TRUE(events.waitFor(MqttEventKind::QueueFull)) << qPrintable(events.all());
    EXPECT_TRUE(events.of(MqttEventKind::RowsDropped).empty());

    broker.resume();
    ASSERT_TRUE(sub.waitFor([](const auto& m) { return hasAllNumbers(m, kReading, 10); }, kWait))
        << qPrintable(events.all());
    ASSERT_TRUE(events.waitFor(MqttEventKind::RowsDropped)) << qPrintable(events.all());
    EXPECT_TRUE(publisher.stop());
    EXPECT_EQ(sub.numbersOn(kReading), range(16, 25));
    const auto dropped = events.of(MqttEventKind::RowsDropped);
    ASSERT_EQ(dropped.size(), 1u) << qPrintable(events.all());
    EXPECT_EQ(dropped.front().count, 15u);
    EXPECT_TRUE(dropped.front().message.contains(QStringLiteral("15 rows were dropped")));
    EXPECT_EQ(events.of(MqttEventKind::QueueFull).size(), 1u);
}

TEST(MqttBroker, StoppingWhileTheBrokerIsAwaySaysWhatWasNotDelivered) {
    const quint16 nobody = test::freeLoopbackPort();
    EventLog events;
    MqttPublisher publisher(fastOptions(urlFor(nobody)), events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    for (int i = 1; i <= 5; ++i) {
        publisher.publish(readingNo(i));
    }
    ASSERT_TRUE(events.waitFor(MqttEventKind::ConnectFailed));
    EXPECT_FALSE(publisher.stop(100ms));
    const auto undelivered = events.of(MqttEventKind::RowsUndelivered);
    ASSERT_EQ(undelivered.size(), 1u) << qPrintable(events.all());
    EXPECT_EQ(undelivered.front().count, 5u);
    EXPECT_TRUE(
        undelivered.front().message.contains(QStringLiteral("mqtt://127.0.0.1:%1").arg(nobody)));
}

struct UnreachableCase {
    const char* name;
    const char* host;
    const char* reason;
};

class MqttBrokerUnreachable : public ::testing::TestWithParam<UnreachableCase> {};

// Not fatal: the publisher says why once and keeps trying.
TEST_P(MqttBrokerUnreachable, IsSaidOnceAndTriedAgain) {
    const UnreachableCase& c = GetParam();
    MqttUrl url = urlFor(test::freeLoopbackPort());
    url.host = QString::fromUtf8(c.host);
    EventLog events;
    MqttPublisher publisher(fastOptions(url), events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    ASSERT_TRUE(events.waitFor(MqttEventKind::ConnectFailed)) << qPrintable(events.all());
    ASSERT_TRUE(waitUntil([&] { return publisher.stats().attempts >= 3; }));
    const auto failed = events.of(MqttEventKind::ConnectFailed);
    ASSERT_EQ(failed.size(), 1u) << qPrintable(events.all());
    EXPECT_TRUE(failed.front().message.startsWith(url.brokerText() + QStringLiteral(": ")) ||
                failed.front().message.contains(url.brokerText()))
        << qPrintable(failed.front().message);
    EXPECT_TRUE(failed.front().message.contains(QString::fromUtf8(c.reason)))
        << qPrintable(failed.front().message);
    EXPECT_EQ(publisher.fatalError(), std::nullopt);
    EXPECT_TRUE(publisher.publish(readingNo(1)));
    publisher.stop(0ms);
}

INSTANTIATE_TEST_SUITE_P(Table, MqttBrokerUnreachable,
                         ::testing::Values(UnreachableCase{"unknownHost", "no-such-host.invalid",
                                                           "unknown host 'no-such-host.invalid'"},
                                           UnreachableCase{"nothingListens", "127.0.0.1",
                                                           "connection refused"}),
                         [](const auto& info) { return std::string(info.param.name); });

// TLS: a test CA, a server certificate for 127.0.0.1, and a CA that did
// not sign it.
class MqttBrokerTls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString d = dir_.path() + QLatin1Char('/');
        QFile ext(d + QStringLiteral("server.ext"));
        ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        ext.close();
        const QStringList ec = {
            QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
            QStringList{QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=velkor test CA"), QStringLiteral("-keyout"),
                        d + QStringLiteral("ca.key"), QStringLiteral("-out"),
                        d + QStringLiteral("ca.crt")});
        run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
            QStringList{QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=another CA"), QStringLiteral("-keyout"),
                        d + QStringLiteral("other.key"), QStringLiteral("-out"),
                        d + QStringLiteral("other.crt")});
        run(QStringList{QStringLiteral("req")} + ec +
            QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                        QStringLiteral("-keyout"), d + QStringLiteral("server.key"),
                        QStringLiteral("-out"), d + QStringLiteral("server.csr")});
        run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
             d + QStringLiteral("server.csr"), QStringLiteral("-CA"), d + QStringLiteral("ca.crt"),
             QStringLiteral("-CAkey"), d + QStringLiteral("ca.key"),
             QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
             QStringLiteral("-extfile"), d + QStringLiteral("server.ext"), QStringLiteral("-out"),
             d + QStringLiteral("server.crt")});
    }

    void run(const QStringList& args) {
        test::ChildProcess openssl;
        const QString log = dir_.path() + QStringLiteral("/openssl.log");
        ASSERT_TRUE(openssl.run(QStringLiteral(VELKOR_OPENSSL), args, kWait, log)) << [&] {
            QFile out(log);
            out.open(QIODevice::ReadOnly);
            return out.readAll().toStdString();
        }();
    }

    QString file(const char* name) const {
        return dir_.path() + QLatin1Char('/') + QLatin1String(name);
    }

    QTemporaryDir dir_;
};

TEST_F(MqttBrokerTls, PublishesOverTlsWithTheRightCa) {
    MosquittoBroker::Options o;
    o.caFile = file("ca.crt");
    o.certFile = file("server.crt");
    o.keyFile = file("server.key");
    MosquittoBroker broker(o);
    ASSERT_EQ(broker.start(), QString());

    EventLog events;
    MqttPublisherOptions options =
        fastOptions(urlFor(broker.port(), QStringLiteral("velkor/test"), {}, {}, true));
    options.caFile = file("ca.crt");
    MqttPublisher publisher(options, events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    ASSERT_TRUE(publisher.publish(readingNo(1)));
    ASSERT_TRUE(waitUntil([&] { return publisher.stats().delivered == 1; }))
        << qPrintable(events.all()) << qPrintable(broker.output());
    EXPECT_TRUE(publisher.stop());
    EXPECT_TRUE(events.of(MqttEventKind::ConnectFailed).empty()) << qPrintable(events.all());
}

struct TlsFailureCase {
    const char* name;
    const char* caFile; // nullptr: the system's CA certificates
    bool tls;
    const char* reason;
};

class MqttBrokerTlsFailure : public MqttBrokerTls,
                             public ::testing::WithParamInterface<TlsFailureCase> {};

TEST_P(MqttBrokerTlsFailure, IsSaidWithTheReason) {
    const TlsFailureCase& c = GetParam();
    MosquittoBroker::Options o;
    o.caFile = file("ca.crt");
    o.certFile = file("server.crt");
    o.keyFile = file("server.key");
    MosquittoBroker broker(o);
    ASSERT_EQ(broker.start(), QString());

    EventLog events;
    MqttPublisherOptions options =
        fastOptions(urlFor(broker.port(), QStringLiteral("velkor/test"), {}, {}, c.tls));
    if (c.caFile) {
        options.caFile = file(c.caFile);
    }
    MqttPublisher publisher(options, events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    ASSERT_TRUE(events.waitFor(MqttEventKind::ConnectFailed)) << qPrintable(events.all());
    const QString message = events.of(MqttEventKind::ConnectFailed).front().message;
    EXPECT_TRUE(message.contains(QStringLiteral("127.0.0.1:%1").arg(broker.port())))
        << qPrintable(message);
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.reason))) << qPrintable(message);
    EXPECT_EQ(publisher.stats().connections, 0u);
    publisher.stop(0ms);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MqttBrokerTlsFailure,
    ::testing::Values(
        TlsFailureCase{"otherCa", "other.crt", true, "TLS failure (certificate verify failed)"},
        TlsFailureCase{"systemCas", nullptr, true, "TLS failure (certificate verify failed)"},
        TlsFailureCase{"plainToTls", nullptr, false, "closed the connection"}),
    [](const auto& info) { return std::string(info.param.name); });

// Kept topics: on the broker as retained messages, the newest payload only
// after the broker was away, and given again to a broker that lost them.
TEST(MqttBroker, KeptTopicsAreRetainedAndComeBackAfterTheBrokerLostThem) {
    MosquittoBroker broker; // no persistence: a restart loses every retained message
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber::Options so;
    so.port = broker.port();
    so.topics = {QStringLiteral("kept/#")};
    TestSubscriber live(so);
    ASSERT_TRUE(live.waitSubscribed(kWait));

    EventLog events;
    MqttPublisher publisher(fastOptions(urlFor(broker.port())), events.handler());
    ASSERT_EQ(publisher.start(), std::nullopt);
    ASSERT_TRUE(publisher.keepRetained("kept/a", "a1"));
    ASSERT_TRUE(publisher.keepRetained("kept/b", "b1"));
    ASSERT_TRUE(publisher.keepRetained("kept/a", "a2"));
    ASSERT_TRUE(waitUntil([&] {
        return publisher.stats().connected && publisher.stats().retainedPending == 0;
    })) << describe(publisher).toStdString()
        << qPrintable(events.all());
    const auto retainedTexts = [&](const QString& topic) {
        TestSubscriber::Options lo = so;
        lo.topics = {topic};
        TestSubscriber late(lo);
        late.waitSubscribed(kWait);
        late.waitFor([](const auto& m) { return !m.empty(); }, kWait);
        QStringList texts;
        for (const auto& m : late.messages()) {
            texts << QString::fromUtf8(m.payload) + (m.retained ? QString() : QStringLiteral("!"));
        }
        return texts;
    };
    EXPECT_EQ(retainedTexts(QStringLiteral("kept/a")), QStringList{QStringLiteral("a2")});
    EXPECT_EQ(retainedTexts(QStringLiteral("kept/b")), QStringList{QStringLiteral("b1")});

    broker.stop();
    ASSERT_TRUE(events.waitFor(MqttEventKind::ConnectionLost)) << qPrintable(events.all());
    ASSERT_TRUE(publisher.keepRetained("kept/a", "a3"));
    ASSERT_TRUE(publisher.keepRetained("kept/a", "a4"));
    EXPECT_EQ(publisher.stats().retainedPending, 1u);
    ASSERT_EQ(broker.start(), QString());
    ASSERT_TRUE(events.waitFor(MqttEventKind::Connected, 2)) << qPrintable(events.all());
    ASSERT_TRUE(waitUntil([&] { return publisher.stats().retainedPending == 0; }));
    EXPECT_EQ(retainedTexts(QStringLiteral("kept/a")), QStringList{QStringLiteral("a4")});
    EXPECT_EQ(retainedTexts(QStringLiteral("kept/b")), QStringList{QStringLiteral("b1")});
    EXPECT_TRUE(publisher.stop());
    EXPECT_FALSE(live.textsOn(QStringLiteral("kept/a")).contains(QStringLiteral("a3")));
}

TEST(MqttPublisherSetup, RefusesWhatCannotWork) {
    MqttPublisherOptions plainWithCa;
    plainWithCa.url = urlFor(1883);
    plainWithCa.caFile = QStringLiteral("/etc/hostname");
    const auto e1 = MqttPublisher(plainWithCa).start();
    ASSERT_TRUE(e1);
    EXPECT_TRUE(e1->contains(QStringLiteral("not mqtts://"))) << qPrintable(*e1);

    MqttPublisherOptions missingCa;
    missingCa.url = urlFor(8883, QStringLiteral("t"), {}, {}, true);
    missingCa.caFile = QStringLiteral("/nonexistent/ca.crt");
    const auto e2 = MqttPublisher(missingCa).start();
    ASSERT_TRUE(e2);
    EXPECT_TRUE(e2->contains(QStringLiteral("cannot read the CA file '/nonexistent/ca.crt'")))
        << qPrintable(*e2);

    MqttPublisher notStarted(plainWithCa);
    EXPECT_FALSE(notStarted.publish(readingNo(1)));
}

} // namespace
} // namespace velkor::mqtt
