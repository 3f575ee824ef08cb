// A row as a line of InfluxDB's line protocol: the exact text, escaping,
// what the protocol cannot carry, and timestamps that never repeat.

#include "influx/InfluxLine.h"

#include <gtest/gtest.h>
#include <limits>

namespace velkor::influx {
namespace {

InfluxRow row() {
    InfluxRow r;
    r.no = 12;
    r.timeNs = 1765443903120000000;
    r.device = QStringLiteral("/dev/ttyUSB0");
    r.topic = QStringLiteral("bench/3");
    r.function = QStringLiteral("DC");
    r.unit = QStringLiteral("V");
    r.judge = QStringLiteral("pass");
    r.value = QStringLiteral("123.4");
    r.valueUnit = QStringLiteral("mV");
    r.si = 0.1234;
    return r;
}

TEST(InfluxLine, AWholeRowTagsSortedByKey) {
    EXPECT_EQ(influxLine(row()),
              QByteArray("meter,device=/dev/ttyUSB0,function=DC,judge=pass,topic=bench/3,unit=V "
                         "no=12i,si=0.1234,value=\"123.4\",value_unit=\"mV\" 1765443903120000000"));
}

TEST(InfluxLine, EmptyTagsAndAMissingValueAreLeftOut) {
    InfluxRow r = row();
    r.topic.clear();
    r.judge.clear();
    r.value = QStringLiteral("OL");
    r.unit = QStringLiteral("\u03A9");
    r.valueUnit = QStringLiteral("M\u03A9");
    r.si = std::nullopt;
    EXPECT_EQ(influxLine(r), QByteArray("meter,device=/dev/ttyUSB0,function=DC,unit=\xCE\xA9 "
                                        "no=12i,value=\"OL\",value_unit=\"M\xCE\xA9\" "
                                        "1765443903120000000"));
    r.si = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(influxLine(r).contains("si=")); // no NaN in line protocol
}

TEST(InfluxLine, NumbersAreShortestRoundTripInAnyLocale) {
    struct Case {
        double si;
        const char* text;
    };
    for (const Case& c : {Case{1e-7, "si=1e-07,"}, Case{4.7e-12, "si=4.7e-12,"},
                          Case{-5.0, "si=-5,"}, Case{0.1 + 0.2, "si=0.30000000000000004,"}}) {
        InfluxRow r = row();
        r.si = c.si;
        EXPECT_TRUE(influxLine(r).contains(c.text)) << influxLine(r).constData();
    }
}

TEST(InfluxLine, EscapingAsTheReferenceRequires) {
    struct Case {
        QString device;
        QString value;
        const char* tag;   // what follows "device="
        const char* field; // what follows value=
    };
    const Case cases[] = {
        {QStringLiteral("a b"), QStringLiteral("x y"), "a\\ b,", "\"x y\""},
        {QStringLiteral("a,b=c"), QStringLiteral("a,b=c"), "a\\,b\\=c,", "\"a,b=c\""},
        {QStringLiteral("say\"hi\""), QStringLiteral("say\"hi\""), "say\"hi\",",
         "\"say\\\"hi\\\"\""},
        {QStringLiteral("C:\\x"), QStringLiteral("back\\"), "C:\\x,", "\"back\\\\\""},
        // A line break would end the line: replaced.
        {QStringLiteral("a\nb"), QStringLiteral("a\r\nb"),
         "a\xEF\xBF\xBD"
         "b,",
         "\"a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b\""},
        // A trailing backslash would escape the separator after it.
        {QStringLiteral("dev\\\\"), QStringLiteral("v"), "dev,", "\"v\""},
    };
    for (const Case& c : cases) {
        InfluxRow r = row();
        r.device = c.device;
        r.value = c.value;
        const QByteArray line = influxLine(r);
        EXPECT_TRUE(line.contains(QByteArray("meter,device=") + c.tag)) << line.constData();
        EXPECT_TRUE(line.contains(QByteArray(",value=") + c.field)) << line.constData();
        EXPECT_EQ(line.count('\n'), 0);
    }
    InfluxRow allGone = row();
    allGone.device = QStringLiteral("\\");
    EXPECT_TRUE(influxLine(allGone).startsWith("meter,function=DC,"))
        << influxLine(allGone).constData();
}

TEST(InfluxLine, RowsInOneMillisecondGetTheirOwnNanosecond) {
    UniqueNanoseconds stamps;
    EXPECT_EQ(stamps.next(1000), 1000000000);
    EXPECT_EQ(stamps.next(1000), 1000000001);
    EXPECT_EQ(stamps.next(1000), 1000000002);
    EXPECT_EQ(stamps.next(1001), 1001000000);
    // A clock set back: still later than the last, so nothing is replaced.
    EXPECT_EQ(stamps.next(999), 1001000001);
}

} // namespace
} // namespace velkor::influx
