// velkor-cli log --influx against a real InfluxDB 1.x (Debian's influxd)
// started by the test on 127.0.0.1: rows written during a live run read back
// equal to the printed rows; the server stopped and started again mid-run
// loses nothing; an unknown database ends the run with the log saved and
// exit 1; the 2.x form against the stand-in endpoint with a token.
#include "cli/LiveLogSupport.h"
#include "meter/UnitTable.h"
#include "platform/linux/PseudoTerminal.h"
#include "support/influx/InfluxServer.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kWaitMs = 60000;

// A point read back holds the printed row (No,Time,DC/AC,Value,Unit,Auto,
// ScaledValue,Timestamp), its time the printed moment in nanoseconds.
void expectSameRow(const QJsonObject& p, const QString& line, const QString& device) {
    const QStringList f = line.split(u',');
    ASSERT_EQ(f.size(), 8) << line.toStdString();
    const qint64 ms = QDateTime::fromString(f[7], Qt::ISODateWithMs).toMSecsSinceEpoch();
    EXPECT_EQ(p.value(QLatin1String("time")).toInteger() / 1000000, ms) << line.toStdString();
    EXPECT_EQ(p.value(QLatin1String("no")).toInteger(), f[0].toLongLong());
    EXPECT_EQ(p.value(QLatin1String("function")).toString(), f[2]);
    EXPECT_EQ(p.value(QLatin1String("value")).toString(), f[3]);
    EXPECT_EQ(p.value(QLatin1String("value_unit")).toString(), readableUnit(f[4]));
    EXPECT_EQ(p.value(QLatin1String("unit")).toString(), unitInfo(f[4])->base);
    EXPECT_EQ(p.value(QLatin1String("judge")).toString(), f[5]);
    EXPECT_EQ(p.value(QLatin1String("device")).toString(), device);
    EXPECT_DOUBLE_EQ(p.value(QLatin1String("si")).toDouble(), *baseUnitValue(f[3], f[4]));
}

class LogInflux : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    DemoWalk walk;
};

TEST_F(LogInflux, RowsOfALiveRunReadBackAndAServerRestartLosesNothing) {
    InfluxServer server;
    ASSERT_EQ(server.start(), QString());
    ASSERT_TRUE(server.createDatabase(QStringLiteral("velkor")));
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();

    CliProcess cli;
    const QString out = dir.filePath(QStringLiteral("log.xml"));
    cli.start({QStringLiteral("log"), QStringLiteral("--influx"),
               server.writeUrl(QStringLiteral("velkor")), QStringLiteral("--save"), out,
               QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    ASSERT_TRUE(cli.waitErr("connected", kWaitMs)) << cli.err.toStdString();
    ASSERT_TRUE(sendAll(line, firstFrames(walk, 5)));
    ASSERT_TRUE(cli.waitLines(1 + 5));
    ASSERT_TRUE(pumpUntil(
        [&] {
            cli.take();
            return server.query(QStringLiteral("velkor"), QStringLiteral("SELECT no FROM meter"))
                       .size() == 5;
        },
        kWaitMs))
        << cli.err.toStdString();

    server.stop();
    ASSERT_TRUE(sendAll(line, demoBytes(walk, 8)));
    ASSERT_TRUE(cli.waitLines(1 + 13)) << cli.err.toStdString();
    ASSERT_TRUE(cli.waitErr("trying again", kWaitMs)) << cli.err.toStdString();
    ASSERT_EQ(server.start(), QString());
    ASSERT_TRUE(cli.waitErr("writing again", kWaitMs)) << cli.err.toStdString();
    ASSERT_TRUE(sendAll(line, demoBytes(walk, 2)));
    ASSERT_TRUE(cli.waitLines(1 + 15)) << cli.err.toStdString();
    cli.signal(SIGTERM);
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    EXPECT_TRUE(QFile::exists(out));

    QString error;
    const auto points =
        server.query(QStringLiteral("velkor"), QStringLiteral("SELECT * FROM meter"), &error);
    ASSERT_EQ(points.size(), std::size_t(cli.lines.size() - 1))
        << qPrintable(error) << cli.err.toStdString();
    for (qsizetype i = 1; i < cli.lines.size(); ++i) {
        expectSameRow(points[std::size_t(i - 1)], cli.lines[i], line.slavePath());
    }
    EXPECT_FALSE(cli.err.contains("dropped")) << cli.err.toStdString();
    EXPECT_FALSE(cli.err.contains("not written")) << cli.err.toStdString();
}

TEST_F(LogInflux, AnUnknownDatabaseEndsTheRunWithTheLogSavedAndExitOne) {
    InfluxServer server;
    ASSERT_EQ(server.start(), QString());
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    CliProcess cli;
    const QString out = dir.filePath(QStringLiteral("log.xml"));
    cli.start({QStringLiteral("log"), QStringLiteral("--influx"),
               server.writeUrl(QStringLiteral("nope")), QStringLiteral("--save"), out,
               QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.p.exitCode(), 1);
    EXPECT_TRUE(cli.err.contains("no such database (HTTP 404: database not found: \"nope\")"))
        << cli.err.toStdString();
    EXPECT_TRUE(QFile::exists(out));
}

TEST_F(LogInflux, TheTwoXFormWithATokenFromTheEnvironment) {
    FakeInflux2 server(FakeInflux2::Options{});
    ASSERT_EQ(server.start(), QString());
    CliProcess cli;
    cli.environment = {{QStringLiteral("VELKOR_INFLUX_TOKEN"), QStringLiteral("t0ken")}};
    cli.start({QStringLiteral("log"), QStringLiteral("--influx"),
               server.writeUrl(QStringLiteral("lab"), QStringLiteral("bench")),
               QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin")});
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    ASSERT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    const auto lines = server.lines();
    ASSERT_EQ(lines.size(), std::size_t(cli.lines.size() - 1));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].startsWith(
            QStringLiteral("meter,device=") +
            QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin").replace(u' ', QStringLiteral("\\ "))))
            << lines[i].toStdString();
        EXPECT_TRUE(lines[i].contains(
            QStringLiteral(" no=%1i,").arg(cli.lines[qsizetype(i) + 1].section(u',', 0, 0))))
            << lines[i].toStdString();
    }
}

TEST_F(LogInflux, ABadUrlOrMissingTokenIsAUsageErrorBeforeAnythingIsOpened) {
    const QString out = dir.filePath(QStringLiteral("log.xml"));
    for (const char* url :
         {"http://127.0.0.1:8086/query?db=x", "http://127.0.0.1:8086/write",
          "mqtt://127.0.0.1/write?db=x", "http://127.0.0.1:8086/api/v2/write?org=o&bucket=b"}) {
        CliProcess cli;
        cli.start({QStringLiteral("log"), QStringLiteral("--influx"), QLatin1String(url),
                   QStringLiteral("--save"), out, QStringLiteral("/nonexistent/input.bin")});
        ASSERT_TRUE(cli.waitEnd(kWaitMs)) << url;
        EXPECT_EQ(cli.p.exitCode(), 2) << url;
        EXPECT_TRUE(cli.err.contains("--influx")) << url << ": " << cli.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << url;
    }
}

} // namespace
