// velkor-cli log --mqtt --ha-discovery against a real Mosquitto broker on
// 127.0.0.1: the retained discovery configs checked field by field against
// Home Assistant's documented schema for sensor and binary_sensor, a new
// quantity announced when it first appears, each quantity's retained state,
// availability on the logger's status (its will included), the entities
// kept after a stop and removed only by --ha-remove.
#include "cli/LiveLogSupport.h"
#include "platform/linux/PseudoTerminal.h"
#include "support/broker/MosquittoBroker.h"
#include "support/broker/TestSubscriber.h"
#include "version/VelkorVersion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kWaitMs = 60000;
const QString kTopic = QStringLiteral("bench/3");

// The units Home Assistant documents for each sensor device class the
// meter's quantities can have.
const std::map<QString, std::set<QString>> kUnitsOfClass{
    {QStringLiteral("voltage"), {"V", "mV", "\u00B5V", "kV", "MV"}},
    {QStringLiteral("current"), {"A", "mA"}},
    {QStringLiteral("frequency"), {"Hz", "kHz", "MHz", "GHz"}},
    {QStringLiteral("temperature"), {"\u00B0C", "\u00B0F", "K"}},
};

QString urlOf(const MosquittoBroker& broker) {
    return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(kTopic);
}

TestSubscriber::Options watching(const MosquittoBroker& broker, QStringList topics) {
    TestSubscriber::Options o;
    o.port = broker.port();
    o.topics = std::move(topics);
    return o;
}

// The retained messages a new subscriber gets under PREFIX/# and on the
// quantities' state topics: those that come before the logger's retained
// status, which is subscribed last.
std::map<QString, QByteArray> retainedUnder(const MosquittoBroker& broker, const QString& prefix) {
    TestSubscriber late(
        watching(broker, {prefix + QStringLiteral("/#"), kTopic + QStringLiteral("/reading/+"),
                          kTopic + QStringLiteral("/status")}));
    late.waitSubscribed(std::chrono::milliseconds(kWaitMs));
    late.waitFor(
        [](const auto& m) {
            return std::any_of(m.begin(), m.end(), [](const TestSubscriber::Message& x) {
                return x.topic == kTopic + QStringLiteral("/status");
            });
        },
        std::chrono::milliseconds(kWaitMs));
    std::map<QString, QByteArray> out;
    for (const auto& m : late.messages()) {
        if (m.retained) {
            out[m.topic] = m.payload;
        }
    }
    return out;
}

// The fields every entity of the logger has, as the MQTT integration
// documents them for discovery.
void expectCommonFields(const QJsonObject& c, const QString& node) {
    EXPECT_FALSE(c.value(QLatin1String("name")).toString().isEmpty());
    EXPECT_TRUE(c.value(QLatin1String("unique_id")).toString().startsWith(node + QLatin1Char('_')));
    EXPECT_EQ(c.value(QLatin1String("availability_topic")).toString(),
              kTopic + QStringLiteral("/status"));
    EXPECT_EQ(c.value(QLatin1String("payload_available")).toString(), QStringLiteral("online"));
    EXPECT_EQ(c.value(QLatin1String("payload_not_available")).toString(),
              QStringLiteral("offline"));
    const QJsonObject device = c.value(QLatin1String("device")).toObject();
    EXPECT_EQ(device.value(QLatin1String("identifiers")).toArray(), QJsonArray{node});
    EXPECT_EQ(device.value(QLatin1String("name")).toString(), QStringLiteral("velkor ") + kTopic);
    EXPECT_EQ(device.value(QLatin1String("model")).toString(), QStringLiteral("IFHALVIN"));
    EXPECT_EQ(device.value(QLatin1String("sw_version")).toString(), QStringLiteral(VELKOR_VERSION));
    EXPECT_EQ(c.value(QLatin1String("origin")).toObject().value(QLatin1String("name")).toString(),
              QStringLiteral("velkor-cli"));
}

void expectSensorConfig(const QJsonObject& c, const QString& node, const QString& objectId) {
    expectCommonFields(c, node);
    const QString state = kTopic + QStringLiteral("/reading/") + objectId;
    EXPECT_EQ(c.value(QLatin1String("unique_id")).toString(), node + QLatin1Char('_') + objectId);
    EXPECT_EQ(c.value(QLatin1String("state_topic")).toString(), state);
    EXPECT_EQ(c.value(QLatin1String("json_attributes_topic")).toString(), state);
    EXPECT_TRUE(c.value(QLatin1String("value_template"))
                    .toString()
                    .contains(QStringLiteral("value_json.si")));
    EXPECT_EQ(c.value(QLatin1String("state_class")).toString(), QStringLiteral("measurement"));
    const QString unit = c.value(QLatin1String("unit_of_measurement")).toString();
    ASSERT_FALSE(unit.isEmpty());
    if (c.contains(QLatin1String("device_class"))) {
        const QString cls = c.value(QLatin1String("device_class")).toString();
        ASSERT_TRUE(kUnitsOfClass.count(cls)) << cls.toStdString();
        EXPECT_TRUE(kUnitsOfClass.at(cls).count(unit))
            << cls.toStdString() << " " << unit.toStdString();
    }
}

TEST(LogHa, ConfigsFollowTheSchemaAndANewQuantityIsAnnouncedWhenItAppears) {
    MosquittoBroker broker;
    ASSERT_EQ(broker.start(), QString());
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    TestSubscriber sub(
        watching(broker, {QStringLiteral("homeassistant/#"), kTopic + QStringLiteral("/#")}));
    ASSERT_TRUE(sub.waitSubscribed(std::chrono::milliseconds(kWaitMs)));
    const QString node = QStringLiteral("velkor_bench_3_"); // completed below from a config

    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--mqtt"), urlOf(broker),
               QStringLiteral("--ha-discovery"), QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    ASSERT_TRUE(cli.waitErr("connected", kWaitMs)) << cli.err.toStdString();
    DemoWalk walk;
    // 20 frames of DC volts (one of them in mV: the same entity).
    ASSERT_TRUE(sendAll(line, firstFrames(walk, 20)));
    ASSERT_TRUE(cli.waitLines(1 + 20)) << cli.err.toStdString();
    const auto configOf = [&](const QString& component, const QString& objectId) {
        for (const auto& m : sub.messages()) {
            const QStringList parts = m.topic.split(u'/');
            if (parts.size() == 5 && parts[0] == QLatin1String("homeassistant") &&
                parts[1] == component && parts[3] == objectId &&
                parts[4] == QLatin1String("config")) {
                return std::make_pair(parts[2], m);
            }
        }
        return std::make_pair(QString(), TestSubscriber::Message{});
    };
    ASSERT_TRUE(pumpUntil(
        [&] {
            cli.take();
            return !configOf(QStringLiteral("sensor"), QStringLiteral("dc_voltage"))
                        .first.isEmpty() &&
                   sub.messagesOn(kTopic + QStringLiteral("/reading")).size() >= 20;
        },
        kWaitMs));
    const auto [nodeId, dc] = configOf(QStringLiteral("sensor"), QStringLiteral("dc_voltage"));
    EXPECT_TRUE(nodeId.startsWith(node)) << nodeId.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[a-zA-Z0-9_-]+$")).match(nodeId).hasMatch());
    const QJsonObject dcConfig = QJsonDocument::fromJson(dc.payload).object();
    expectSensorConfig(dcConfig, nodeId, QStringLiteral("dc_voltage"));
    EXPECT_EQ(dcConfig.value(QLatin1String("device_class")).toString(), QStringLiteral("voltage"));
    EXPECT_EQ(dcConfig.value(QLatin1String("unit_of_measurement")).toString(), QStringLiteral("V"));

    const auto [judgeNode, judge] =
        configOf(QStringLiteral("binary_sensor"), QStringLiteral("judge"));
    EXPECT_EQ(judgeNode, nodeId);
    const QJsonObject j = QJsonDocument::fromJson(judge.payload).object();
    expectCommonFields(j, nodeId);
    EXPECT_EQ(j.value(QLatin1String("device_class")).toString(), QStringLiteral("problem"));
    EXPECT_EQ(j.value(QLatin1String("state_topic")).toString(),
              kTopic + QStringLiteral("/reading"));
    EXPECT_EQ(j.value(QLatin1String("payload_on")).toString(), QStringLiteral("Fail"));
    EXPECT_EQ(j.value(QLatin1String("payload_off")).toString(), QStringLiteral("pass"));
    EXPECT_TRUE(j.value(QLatin1String("value_template"))
                    .toString()
                    .contains(QStringLiteral("value_json.judge")));

    // Only the quantities seen so far are announced.
    EXPECT_TRUE(configOf(QStringLiteral("sensor"), QStringLiteral("ac_voltage")).first.isEmpty());
    // The function changes: AC volts get an entity of their own.
    ASSERT_TRUE(sendAll(line, demoBytes(walk, 5)));
    ASSERT_TRUE(cli.waitLines(1 + 25)) << cli.err.toStdString();
    ASSERT_TRUE(pumpUntil(
        [&] {
            cli.take();
            return !configOf(QStringLiteral("sensor"), QStringLiteral("ac_voltage"))
                        .first.isEmpty() &&
                   !sub.messagesOn(kTopic + QStringLiteral("/reading/ac_voltage")).empty();
        },
        kWaitMs));
    expectSensorConfig(
        QJsonDocument::fromJson(
            configOf(QStringLiteral("sensor"), QStringLiteral("ac_voltage")).second.payload)
            .object(),
        nodeId, QStringLiteral("ac_voltage"));
    // Each quantity's state topic has rows of that quantity alone, the
    // printed rows' JSON; the config came before the first of them.
    for (const auto& m : sub.messagesOn(kTopic + QStringLiteral("/reading/dc_voltage"))) {
        EXPECT_EQ(
            QJsonDocument::fromJson(m.payload).object().value(QLatin1String("function")).toString(),
            QStringLiteral("DC"));
    }
    const auto all = sub.messages();
    const auto firstIndex = [&](const QString& topicEnd) {
        return std::find_if(all.begin(), all.end(),
                            [&](const auto& m) { return m.topic.endsWith(topicEnd); }) -
               all.begin();
    };
    EXPECT_LT(firstIndex(QStringLiteral("/ac_voltage/config")),
              firstIndex(QStringLiteral("/reading/ac_voltage")));

    // Killed outright: the will turns the entities unavailable; the configs
    // and the newest state of each quantity stay.
    cli.signal(SIGKILL);
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    ASSERT_TRUE(pumpUntil(
        [&] {
            return sub.textsOn(kTopic + QStringLiteral("/status"))
                .endsWith(QStringLiteral("offline"));
        },
        kWaitMs));
    auto kept = retainedUnder(broker, QStringLiteral("homeassistant"));
    EXPECT_EQ(kept.count(QStringLiteral("homeassistant/sensor/%1/dc_voltage/config").arg(nodeId)),
              1u);
    EXPECT_EQ(kept.count(QStringLiteral("homeassistant/sensor/%1/ac_voltage/config").arg(nodeId)),
              1u);
    EXPECT_EQ(kept.count(QStringLiteral("homeassistant/binary_sensor/%1/judge/config").arg(nodeId)),
              1u);
    const QJsonObject lastAc =
        QJsonDocument::fromJson(kept[kTopic + QStringLiteral("/reading/ac_voltage")]).object();
    EXPECT_EQ(lastAc.value(QLatin1String("no")).toInteger(),
              cli.lines.last().section(u',', 0, 0).toLongLong());
    EXPECT_EQ(kept[kTopic + QStringLiteral("/status")], QByteArray("offline"));

    // --ha-remove clears them, and leaves the status as it was.
    CliProcess remove;
    remove.start({QStringLiteral("log"), QStringLiteral("--mqtt"), urlOf(broker),
                  QStringLiteral("--ha-remove")});
    ASSERT_TRUE(remove.waitEnd(kWaitMs));
    EXPECT_EQ(remove.p.exitCode(), 0) << remove.err.toStdString();
    EXPECT_TRUE(remove.lines.join(u'\n').contains(nodeId))
        << remove.lines.join(u'\n').toStdString();
    kept = retainedUnder(broker, QStringLiteral("homeassistant"));
    for (const auto& [topic, payload] : kept) {
        EXPECT_FALSE(topic.startsWith(QStringLiteral("homeassistant/"))) << topic.toStdString();
        EXPECT_FALSE(topic.startsWith(kTopic + QStringLiteral("/reading/"))) << topic.toStdString();
    }
    EXPECT_EQ(kept[kTopic + QStringLiteral("/status")], QByteArray("offline"));
}

TEST(LogHa, UsageErrors) {
    struct Case {
        QStringList args;
        const char* part;
    };
    const Case cases[] = {
        {{QStringLiteral("--ha-discovery"), QStringLiteral("-")}, "--ha-discovery needs --mqtt"},
        {{QStringLiteral("--mqtt"), QStringLiteral("mqtt://h/t"),
          QStringLiteral("--ha-discovery=ha/#"), QStringLiteral("-")},
         "wildcard"},
        {{QStringLiteral("--mqtt"), QStringLiteral("mqtt://h/t"), QStringLiteral("--ha-discovery="),
          QStringLiteral("-")},
         "prefix is empty"},
        {{QStringLiteral("--ha-remove")}, "--ha-remove takes --mqtt URL"},
        {{QStringLiteral("--mqtt"), QStringLiteral("mqtt://h/t"), QStringLiteral("--ha-remove"),
          QStringLiteral("frames.bin")},
         "no input"},
    };
    for (const Case& c : cases) {
        CliProcess cli;
        cli.start(QStringList{QStringLiteral("log")} + c.args);
        ASSERT_TRUE(cli.waitEnd(kWaitMs));
        EXPECT_EQ(cli.p.exitCode(), 2) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(cli.err.contains(c.part)) << cli.err.toStdString();
    }
}

} // namespace
