// velkor-cli log --mqtt against a real Mosquitto broker on 127.0.0.1: the
// rows a subscriber gets are the printed rows, once each and in order; the
// retained status follows the logger's life, to its death by SIGKILL; a
// broker that goes away and comes back loses no row; refused credentials end
// the run with the log saved; a bad URL is a usage error.
#include "cli/LiveLogSupport.h"
#include "meter/UnitTable.h"
#include "platform/linux/PseudoTerminal.h"
#include "support/broker/MosquittoBroker.h"
#include "support/broker/TestSubscriber.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

// Generous: only a broken run waits this long.
constexpr int kWaitMs = 60000;
const QString kTopic = QStringLiteral("bench/3");

QString urlOf(const MosquittoBroker& broker, const QString& user = {}) {
    const QString who = user.isEmpty() ? QString() : user + QLatin1Char('@');
    return QStringLiteral("mqtt://") + who +
           QStringLiteral("127.0.0.1:%1/%2").arg(broker.port()).arg(kTopic);
}

TestSubscriber::Options subscriberOf(const MosquittoBroker& broker) {
    TestSubscriber::Options o;
    o.port = broker.port();
    o.topics = {kTopic + QStringLiteral("/#")};
    return o;
}

// Pumps the child's output while waiting for the subscriber.
bool waitReadings(CliProcess& cli, const TestSubscriber& sub, std::size_t n) {
    return pumpUntil(
        [&] {
            cli.take();
            return sub.messagesOn(kTopic + QStringLiteral("/reading")).size() >= n;
        },
        kWaitMs);
}

bool waitStatus(CliProcess& cli, const TestSubscriber& sub, const QStringList& texts) {
    return pumpUntil(
        [&] {
            cli.take();
            return sub.textsOn(kTopic + QStringLiteral("/status")) == texts;
        },
        kWaitMs);
}

QJsonObject jsonOf(const TestSubscriber::Message& m) {
    return QJsonDocument::fromJson(m.payload).object();
}

class LogMqtt : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    DemoWalk walk;
};

TEST_F(LogMqtt, EveryRowOfAFileArrivesOnceInOrderWithTheFieldsOfThePrintedRow) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber sub(subscriberOf(broker));
    ASSERT_TRUE(sub.waitSubscribed(std::chrono::milliseconds(kWaitMs)))
        << sub.error().toStdString();

    // Enough rows that many are still queued when the input ends.
    const std::vector<std::uint8_t> bytes = demoBytes(walk, 3000);
    QFile input(path("frames.bin"));
    ASSERT_TRUE(input.open(QIODevice::WriteOnly));
    input.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    input.close();

    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"), urlOf(broker), input.fileName()});
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    ASSERT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    const qsizetype rows = cli.lines.size() - 1;
    ASSERT_GT(rows, 1000);
    ASSERT_TRUE(waitReadings(cli, sub, static_cast<std::size_t>(rows)));
    ASSERT_EQ(sub.messagesOn(kTopic + QStringLiteral("/reading")).size(),
              static_cast<std::size_t>(rows));
    const auto all = sub.messagesOn(kTopic + QStringLiteral("/reading"));
    for (qsizetype i = 0; i < rows; ++i) {
        expectJsonOfPrintedRow(jsonOf(all[static_cast<std::size_t>(i)]), cli.lines[i + 1]);
    }
    EXPECT_TRUE(waitStatus(cli, sub, {QStringLiteral("online"), QStringLiteral("offline")}));
    EXPECT_FALSE(cli.err.contains("dropped")) << cli.err.toStdString();
    EXPECT_FALSE(cli.err.contains("not acknowledged")) << cli.err.toStdString();
}

struct EndCase {
    const char* name;
    int sig;
};

class LogMqttEnd : public LogMqtt, public ::testing::WithParamInterface<EndCase> {};

// online while logging; offline when the logger ends by a signal, and by the
// will when it is killed outright.
TEST_P(LogMqttEnd, RetainedStatusGoesOnlineThenOffline) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    TestSubscriber sub(subscriberOf(broker));
    ASSERT_TRUE(sub.waitSubscribed(std::chrono::milliseconds(kWaitMs)));

    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"), urlOf(broker),
               QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    ASSERT_TRUE(cli.waitErr("connected", kWaitMs)) << cli.err.toStdString();
    ASSERT_TRUE(sendAll(line, firstFrames(walk, 5)));
    ASSERT_TRUE(cli.waitLines(1 + 5)) << cli.err.toStdString();
    ASSERT_TRUE(waitReadings(cli, sub, 5));
    ASSERT_TRUE(waitStatus(cli, sub, {QStringLiteral("online")}));

    cli.signal(GetParam().sig);
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    // A will is given after the broker notices the lost connection: at once
    // for a closed socket.
    EXPECT_TRUE(waitStatus(cli, sub, {QStringLiteral("online"), QStringLiteral("offline")}))
        << sub.textsOn(kTopic + QStringLiteral("/status")).join(u' ').toStdString();
    if (GetParam().sig != SIGKILL) {
        EXPECT_EQ(cli.p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    }
    // A subscriber that comes later is told the last state.
    TestSubscriber late(subscriberOf(broker));
    ASSERT_TRUE(late.waitSubscribed(std::chrono::milliseconds(kWaitMs)));
    ASSERT_TRUE(
        late.waitFor([](const auto& m) { return !m.empty(); }, std::chrono::milliseconds(kWaitMs)));
    const auto first = late.messages().front();
    EXPECT_TRUE(first.retained);
    EXPECT_EQ(first.payload, QByteArray("offline"));
}

INSTANTIATE_TEST_SUITE_P(Ends, LogMqttEnd,
                         ::testing::Values(EndCase{"Sigterm", SIGTERM}, EndCase{"Sigint", SIGINT},
                                           EndCase{"Sigkill", SIGKILL}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogMqtt, RowsLoggedWhileTheBrokerIsAwayArriveWhenItReturns) {
    MosquittoBroker::Options options;
    options.persistence = true; // the subscriber's session survives the restart
    MosquittoBroker broker(options);
    ASSERT_EQ(broker.start(), QString());
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    TestSubscriber::Options so = subscriberOf(broker);
    so.clientId = QStringLiteral("dashboard");
    so.cleanSession = false;
    TestSubscriber sub(so);
    ASSERT_TRUE(sub.waitSubscribed(std::chrono::milliseconds(kWaitMs)));

    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"), urlOf(broker),
               QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    ASSERT_TRUE(sendAll(line, firstFrames(walk, 5)));
    ASSERT_TRUE(cli.waitLines(1 + 5));
    ASSERT_TRUE(waitReadings(cli, sub, 5)) << cli.err.toStdString();

    broker.stop();
    ASSERT_TRUE(cli.waitErr("connection lost", kWaitMs)) << cli.err.toStdString();
    ASSERT_TRUE(sendAll(line, demoBytes(walk, 8)));
    ASSERT_TRUE(cli.waitLines(1 + 13)) << cli.err.toStdString();
    ASSERT_EQ(broker.start(), QString());
    ASSERT_TRUE(cli.waitErr("connected again", kWaitMs)) << cli.err.toStdString();

    std::vector<qint64> printed;
    for (qsizetype i = 1; i < cli.lines.size(); ++i) {
        printed.push_back(cli.lines[i].section(u',', 0, 0).toLongLong());
    }
    // QoS 1 may give a row twice (sent again after a lost acknowledgement),
    // but never loses one, and the first arrivals keep the logged order.
    const QString readingTopic = kTopic + QStringLiteral("/reading");
    auto firstArrivals = [&] {
        std::vector<qint64> seen;
        for (const qint64 no : sub.numbersOn(readingTopic)) {
            if (std::find(seen.begin(), seen.end(), no) == seen.end()) {
                seen.push_back(no);
            }
        }
        return seen;
    };
    EXPECT_TRUE(pumpUntil(
        [&] {
            cli.take();
            return firstArrivals().size() >= printed.size();
        },
        kWaitMs));
    EXPECT_EQ(firstArrivals(), printed);
    cli.signal(SIGTERM);
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    EXPECT_FALSE(cli.err.contains("dropped")) << cli.err.toStdString();
}

TEST_F(LogMqtt, RefusedCredentialsEndTheRunWithTheLogSavedAndExitOne) {
    MosquittoBroker::Options options;
    options.user = QStringLiteral("alice");
    options.password = QStringLiteral("right");
    MosquittoBroker broker(options);
    ASSERT_EQ(broker.start(), QString());
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();

    CliProcess cli;
    // The password from the environment, as a service would give it.
    cli.environment = {{QStringLiteral("VELKOR_MQTT_PASSWORD"), QStringLiteral("wrong")}};
    const QString out = path("log.xml");
    cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"),
               urlOf(broker, QStringLiteral("alice")), QStringLiteral("--save"), out,
               QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.p.exitCode(), 1);
    EXPECT_TRUE(cli.err.contains("refused the login")) << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QStringLiteral("127.0.0.1:%1").arg(broker.port()).toUtf8()))
        << cli.err.toStdString();
    EXPECT_FALSE(cli.err.contains("wrong")) << "no password in a message";
    EXPECT_TRUE(QFile::exists(out));
}

TEST_F(LogMqtt, TheRightPasswordFromTheEnvironmentIsAccepted) {
    MosquittoBroker::Options options;
    options.user = QStringLiteral("alice");
    options.password = QStringLiteral("right");
    MosquittoBroker broker(options);
    ASSERT_EQ(broker.start(), QString());
    TestSubscriber::Options so = subscriberOf(broker);
    so.user = options.user;
    so.password = options.password;
    TestSubscriber sub(so);
    ASSERT_TRUE(sub.waitSubscribed(std::chrono::milliseconds(kWaitMs)));

    CliProcess cli;
    cli.environment = {{QStringLiteral("VELKOR_MQTT_PASSWORD"), QStringLiteral("right")}};
    cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"),
               urlOf(broker, QStringLiteral("alice")),
               QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin")});
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    ASSERT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    ASSERT_TRUE(waitReadings(cli, sub, static_cast<std::size_t>(cli.lines.size() - 1)));
}

// Nothing is opened or written for a URL that cannot be right.
TEST_F(LogMqtt, ABadUrlIsAUsageErrorBeforeAnythingIsOpened) {
    const QString out = path("log.xml");
    for (const char* url :
         {"http://127.0.0.1/bench", "mqtt://127.0.0.1", "mqtt://127.0.0.1:70000/t", "mqtt:///t"}) {
        CliProcess cli;
        cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"), QLatin1String(url),
                   QStringLiteral("--save"), out, QStringLiteral("/nonexistent/input.bin")});
        ASSERT_TRUE(cli.waitEnd(kWaitMs)) << url;
        EXPECT_EQ(cli.p.exitCode(), 2) << url;
        EXPECT_TRUE(cli.err.contains("--mqtt")) << url << ": " << cli.err.toStdString();
        EXPECT_EQ(cli.lines, QStringList()) << url;
        EXPECT_FALSE(QFile::exists(out)) << url;
    }
    CliProcess plain;
    plain.start({QStringLiteral("log"), QStringLiteral("--mqtt"), QStringLiteral("mqtt://h/t"),
                 QStringLiteral("--mqtt-cafile"), path("ca.pem"), QStringLiteral("-")});
    ASSERT_TRUE(plain.waitEnd(kWaitMs));
    EXPECT_EQ(plain.p.exitCode(), 2);
    EXPECT_TRUE(plain.err.contains("--mqtt-cafile")) << plain.err.toStdString();
}

} // namespace
