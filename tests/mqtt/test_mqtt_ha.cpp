// Home Assistant discovery on its own: which entity a row belongs to, the
// node id, the prefix, and the configs against the documented schema.

#include "mqtt/HaDiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace velkor::mqtt {
namespace {

TEST(HaDiscovery, OneEntityPerQuantityWhateverTheRangeOrFunction) {
    struct Case {
        const char* function;
        const char* base;
        const char* objectId; // nullptr: none
    };
    const Case cases[] = {
        {"DC", "V", "dc_voltage"},
        {"Diode", "V", "dc_voltage"},
        {"AC", "V", "ac_voltage"},
        {"DC", "A", "dc_current"},
        {"AC", "A", "ac_current"},
        {"OHM", "\u03A9", "resistance"},
        {"CTN", "\u03A9", "resistance"},
        {"AC", "\u03A9", "resistance"},
        {"CAP", "F", "capacitance"},
        {"Freq", "Hz", "frequency"},
        {"TMP", "\u00B0C", "temperature_c"},
        {"TMP", "\u00B0F", "temperature_f"},
        {"DutyCycle", "%", "duty_cycle"},
        {"DC", "", nullptr},
        {"", "mV", nullptr}, // a prefixed unit is no base unit
    };
    for (const Case& c : cases) {
        const HaQuantity* q = haQuantity(QString::fromUtf8(c.function), QString::fromUtf8(c.base));
        if (!c.objectId) {
            EXPECT_EQ(q, nullptr) << c.function << " " << c.base;
        } else {
            ASSERT_NE(q, nullptr) << c.function << " " << c.base;
            EXPECT_STREQ(q->objectId, c.objectId);
        }
    }
    // Every id is unique and of the characters discovery allows.
    QStringList ids;
    for (const HaQuantity& q : haQuantities()) {
        ids << QString::fromLatin1(q.objectId);
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("^[a-zA-Z0-9_-]+$")).match(ids.last()).hasMatch());
    }
    ids.removeDuplicates();
    EXPECT_EQ(ids.size(), qsizetype(haQuantities().size()));
}

TEST(HaDiscovery, TheNodeIdIsStableAndKeepsTopicsApart) {
    const QString a = haNodeId(QStringLiteral("bench/3"));
    EXPECT_EQ(a, haNodeId(QStringLiteral("bench/3")));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^velkor_bench_3_[0-9a-f]{8}$")).match(a).hasMatch())
        << qPrintable(a);
    EXPECT_NE(a, haNodeId(QStringLiteral("bench_3")));
    EXPECT_NE(a, haNodeId(QStringLiteral("bench 3")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[a-zA-Z0-9_-]+$"))
                    .match(haNodeId(QStringLiteral("Labor/Messplatz 3 (Ω)")))
                    .hasMatch());
}

TEST(HaDiscovery, PrefixesThatCannotWork) {
    EXPECT_EQ(haPrefixError(QStringLiteral("homeassistant")), std::nullopt);
    EXPECT_EQ(haPrefixError(QStringLiteral("lab/ha")), std::nullopt);
    for (const char* bad : {"", "ha/#", "ha/+/x", "$SYS", "/ha", "ha/", "a//b"}) {
        EXPECT_TRUE(haPrefixError(QString::fromLatin1(bad))) << bad;
    }
}

TEST(HaDiscovery, ConfigsNameTheirTopicsAndDevice) {
    const HaDevice d{QStringLiteral("ha"), QStringLiteral("bench/3"), QStringLiteral("IFHALVIN"),
                     QStringLiteral("1.2.3")};
    const QString node = haNodeId(d.topic);
    const HaQuantity& cap = *haQuantity(u"CAP", u"F");
    EXPECT_EQ(haConfigTopic(d, cap), ("ha/sensor/" + node + "/capacitance/config").toUtf8());
    EXPECT_EQ(haStateTopic(d, cap), QByteArray("bench/3/reading/capacitance"));
    EXPECT_EQ(haJudgeConfigTopic(d), ("ha/binary_sensor/" + node + "/judge/config").toUtf8());
    const QJsonObject c = QJsonDocument::fromJson(haConfig(d, cap)).object();
    EXPECT_EQ(c.value(QLatin1String("unit_of_measurement")).toString(), QStringLiteral("\u00B5F"));
    EXPECT_FALSE(c.contains(QLatin1String("device_class")));
    EXPECT_EQ(c.value(QLatin1String("unique_id")).toString(),
              node + QStringLiteral("_capacitance"));
    const QJsonObject device = c.value(QLatin1String("device")).toObject();
    EXPECT_EQ(device.value(QLatin1String("identifiers")).toArray(), QJsonArray{node});
    EXPECT_EQ(device.value(QLatin1String("model")).toString(), QStringLiteral("IFHALVIN"));
    EXPECT_EQ(device.value(QLatin1String("sw_version")).toString(), QStringLiteral("1.2.3"));
}

} // namespace
} // namespace velkor::mqtt
