// velkor-cli log --http as a user meets it: the page in Debian's Chromium
// (headless) following a live meter, its link and the logger's end; curl
// on /events getting every printed row and resuming; the CSV served being
// the CSV saved; Prometheus scraping the metrics (promtool checks them);
// the options and their errors; idle and stuck clients not holding up the
// log.
#include "cli/LiveLogSupport.h"
#include "meter/UnitTable.h"
#include "platform/linux/PseudoTerminal.h"
#include "support/web/Curl.h"
#include "support/web/HeadlessBrowser.h"
#include "support/web/PrometheusServer.h"
#include "support/web/TcpClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;
using namespace std::chrono_literals;

namespace {

// Generous: only a broken run waits this long.
constexpr int kWaitMs = 60000;
const QByteArray kToken = "bench-3_token.0123456789";

// The page's address, from what the logger says when it starts.
QString liveUrl(CliProcess& cli) {
    const QRegularExpression re(QStringLiteral("live view is at (http://\\S+/)"));
    if (!cli.waitErr("live view is at", kWaitMs)) {
        return {};
    }
    pumpUntil(
        [&] {
            cli.take();
            return re.match(QString::fromUtf8(cli.err)).hasMatch();
        },
        kWaitMs);
    return re.match(QString::fromUtf8(cli.err)).captured(1);
}

QString loopbackUrl(const QString& url) {
    // A server on every address is reached here on 127.0.0.1.
    QString u = url;
    return u.replace(QStringLiteral("0.0.0.0"), QStringLiteral("127.0.0.1"));
}

std::vector<std::uint8_t> firstFrames(DemoWalk& walk, int n) {
    std::vector<std::uint8_t> bytes{0x0A};
    const auto frames = demoBytes(walk, n);
    bytes.insert(bytes.end(), frames.begin(), frames.end());
    return bytes;
}

void write(CliProcess& cli, const std::vector<std::uint8_t>& bytes) {
    cli.p.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

class LogHttp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    DemoWalk walk;
};

// The page shows what the logger prints, follows it, shows the device
// going away and coming back, and says when the logger has stopped; on a
// phone's width nothing runs off the side.
TEST_F(LogHttp, ThePageInABrowserFollowsTheMeterAndItsLink) {
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    const QString link = path("meter");
    ASSERT_TRUE(QFile::link(line.slavePath(), link));
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--device"), link,
               QStringLiteral("--reconnect"), QStringLiteral("--http"), QStringLiteral("0")});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    const QString url = liveUrl(cli);
    ASSERT_FALSE(url.isEmpty()) << cli.err.toStdString();
    const auto first = firstFrames(walk, 20);
    ASSERT_TRUE(line.send(first.data(), first.size()));
    ASSERT_TRUE(cli.waitLines(1 + 20)) << cli.err.toStdString();

    HeadlessBrowser browser;
    ASSERT_EQ(browser.start(), QString());
    const auto tab = browser.open(url, 390, 844, true);
    ASSERT_TRUE(tab);
    const auto text = [&](const char* id) {
        return browser
            .evaluate(
                *tab,
                QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id)))
            .toString();
    };
    const auto waitRows = [&](int rows) {
        return browser.waitTrue(
            *tab, QStringLiteral("document.getElementById('rows').textContent === '%1'").arg(rows),
            std::chrono::milliseconds(kWaitMs));
    };
    ASSERT_TRUE(waitRows(20)) << text("rows").toStdString() << browser.output().toStdString();
    const QStringList last = cli.lines.last().split(u',');
    EXPECT_EQ(text("value"), last[3]);
    EXPECT_EQ(text("unit"), readableUnit(last[4]));
    EXPECT_EQ(text("function"), last[2]);
    EXPECT_EQ(text("hi"), QStringLiteral("6000"));
    EXPECT_EQ(text("lo"), QStringLiteral("-6000"));
    EXPECT_TRUE(text("last").contains(QStringLiteral("row ") + last[0]));
    EXPECT_EQ(
        browser.evaluate(*tab, QStringLiteral("document.getElementById('lamp').dataset.judge"))
            .toString(),
        last[5] == QLatin1String("Fail") ? QStringLiteral("fail") : QStringLiteral("pass"));
    EXPECT_EQ(
        browser.evaluate(*tab, QStringLiteral("document.getElementById('link').dataset.state"))
            .toString(),
        QStringLiteral("reading"));
    EXPECT_TRUE(browser.waitTrue(*tab, QStringLiteral("!!document.querySelector('#chart canvas')"),
                                 std::chrono::milliseconds(kWaitMs)))
        << "the trend is drawn";
    EXPECT_TRUE(browser
                    .evaluate(*tab, QStringLiteral("document.documentElement.scrollWidth <= "
                                                   "window.innerWidth"))
                    .toBool())
        << "nothing runs off a phone's width";

    // New readings follow.
    const auto more = demoBytes(walk, 5);
    ASSERT_TRUE(line.send(more.data(), more.size()));
    ASSERT_TRUE(cli.waitLines(1 + 25));
    ASSERT_TRUE(waitRows(25));
    EXPECT_EQ(text("value"), cli.lines.last().split(u',')[3]);

    // The device goes away and comes back.
    const auto waitLink = [&](const char* state) {
        return browser.waitTrue(
            *tab,
            QStringLiteral("document.getElementById('link').dataset.state === '%1'")
                .arg(QLatin1String(state)),
            std::chrono::milliseconds(kWaitMs));
    };
    line.close();
    ASSERT_TRUE(cli.waitErr("was lost")) << cli.err.toStdString();
    EXPECT_TRUE(waitLink("reconnecting"));
    PseudoTerminal again;
    ASSERT_TRUE(again.open());
    ASSERT_TRUE(repointLink(link, again.slavePath()));
    ASSERT_TRUE(cli.waitErr("is back after")) << cli.err.toStdString();
    EXPECT_TRUE(waitLink("reading"));

    // The logger stops: the page says so plainly.
    cli.signal(SIGTERM);
    ASSERT_TRUE(cli.waitEnd());
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    EXPECT_TRUE(waitLink("ended"));
    EXPECT_FALSE(
        browser.evaluate(*tab, QStringLiteral("document.getElementById('gone').hidden")).toBool());
    EXPECT_TRUE(text("gone").contains(QStringLiteral("stopped")));
}

// Every printed row reaches a client of /events, in order and with the
// printed fields; a client that comes back goes on where it was; the
// rows held read back alike; the CSV served is the CSV the run saves.
TEST_F(LogHttp, TheEventsCarryThePrintedRowsAndTheCsvIsTheSavedOne) {
    const QString out = path("log.csv");
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
               QStringLiteral("--save"), out, QStringLiteral("-")});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    const QString url = liveUrl(cli);
    ASSERT_FALSE(url.isEmpty()) << cli.err.toStdString();
    write(cli, firstFrames(walk, 100));
    ASSERT_TRUE(cli.waitLines(1 + 100));

    // From the first row held on (Last-Event-ID 0), then as they come.
    CurlStream events(url + QStringLiteral("events"),
                      {QStringLiteral("-H"), QStringLiteral("Last-Event-ID: 0")});
    for (int chunk = 0; chunk < 4; ++chunk) {
        write(cli, demoBytes(walk, 100));
    }
    ASSERT_TRUE(cli.waitLines(1 + 500));
    const qsizetype rows = cli.lines.size() - 1;
    ASSERT_TRUE(
        events.waitFor([&](const auto&) { return events.readings().size() >= rows; }, kWaitMs))
        << events.readings().size() << " of " << rows;
    ASSERT_EQ(events.readings().size(), rows);
    for (qsizetype i = 0; i < rows; ++i) {
        EXPECT_EQ(events.readings()[i].id, cli.lines[i + 1].section(u',', 0, 0).toUtf8());
        expectJsonOfPrintedRow(QJsonDocument::fromJson(events.readings()[i].data).object(),
                               cli.lines[i + 1]);
    }

    const QByteArray resumeAt = cli.lines[rows - 10].section(u',', 0, 0).toUtf8();
    CurlStream resumed(url + QStringLiteral("events"),
                       {QStringLiteral("-H"), QStringLiteral("Last-Event-ID: ") + resumeAt});
    ASSERT_TRUE(
        resumed.waitFor([&](const auto&) { return resumed.readings().size() >= 10; }, kWaitMs));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(resumed.readings()[i].data, events.readings()[rows - 10 + i].data);
    }
    const HttpAnswer recent = curl(url + QStringLiteral("api/readings?since=") + resumeAt);
    EXPECT_EQ(recent.status, 200);
    QByteArray joined = "[";
    for (int i = 0; i < 10; ++i) {
        joined += (i ? ",\n" : "") + resumed.readings()[i].data;
    }
    EXPECT_EQ(recent.body, joined + "]\n");

    const HttpAnswer csv = curl(url + QStringLiteral("api/log.csv"));
    EXPECT_EQ(csv.status, 200);
    cli.p.closeWriteChannel(); // the input's end
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    QFile saved(out);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.body == saved.readAll()) << "served:\n" << csv.body.left(300).constData();
    ASSERT_TRUE(events.waitEnd(kWaitMs));
    EXPECT_EQ(events.events().last().event, QByteArray("end"));
}

// On every address, with a token: promtool finds the metrics well formed,
// and a real Prometheus scrapes them with the token.
TEST_F(LogHttp, PrometheusScrapesTheMetrics) {
    CliProcess cli;
    cli.environment = {{QStringLiteral("VELKOR_HTTP_TOKEN"), QString::fromLatin1(kToken)}};
    cli.start({QStringLiteral("log"), QStringLiteral("--http"), QStringLiteral("0.0.0.0:0"),
               QStringLiteral("-")});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    const QString url = loopbackUrl(liveUrl(cli));
    ASSERT_FALSE(url.isEmpty()) << cli.err.toStdString();
    write(cli, firstFrames(walk, 300));
    ASSERT_TRUE(cli.waitLines(1 + 300));
    const qsizetype rows = cli.lines.size() - 1;

    EXPECT_EQ(curl(url + QStringLiteral("metrics")).status, 401);
    const QStringList bearer{QStringLiteral("-H"), QStringLiteral("Authorization: Bearer ") +
                                                       QString::fromLatin1(kToken)};
    HttpAnswer metrics;
    ASSERT_TRUE(pumpUntil(
        [&] {
            metrics = curl(url + QStringLiteral("metrics"), bearer);
            return metrics.body.contains("velkor_readings_total " + QByteArray::number(rows) +
                                         '\n');
        },
        kWaitMs))
        << metrics.body.constData();
    QProcess promtool;
    promtool.start(QStringLiteral(VELKOR_PROMTOOL),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    promtool.write(metrics.body);
    promtool.closeWriteChannel();
    ASSERT_TRUE(promtool.waitForFinished(30000));
    EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAllStandardOutput().constData()
                                      << promtool.readAllStandardError().constData();

    PrometheusServer prometheus(url.section(u'/', 2, 2), kToken);
    ASSERT_EQ(prometheus.start(), QString());
    std::optional<double> total;
    EXPECT_TRUE(pumpUntil(
        [&] {
            total = prometheus.value(QStringLiteral("velkor_readings_total"));
            return total.has_value();
        },
        kWaitMs))
        << prometheus.output().toStdString();
    EXPECT_EQ(total, double(rows));
    EXPECT_EQ(prometheus.value(QStringLiteral("up{job=\"velkor\"}")), 1.0);
    EXPECT_TRUE(prometheus.value(QStringLiteral("velkor_link_up")) == 1.0);
    cli.p.closeWriteChannel();
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
}

struct UsageCase {
    const char* name;
    QStringList args;
    const char* token; // VELKOR_HTTP_TOKEN, or nullptr
    const char* says;
};

// What cannot be served safely or at all is a usage error before anything
// starts; a port in use ends the run at once with the system's reason.
TEST_F(LogHttp, TheOptionsAndTheirErrors) {
    const QString input = path("none.bin"); // never opened
    const UsageCase cases[] = {
        {"every address without a token",
         {QStringLiteral("--http"), QStringLiteral("0.0.0.0:0")},
         nullptr,
         "VELKOR_HTTP_TOKEN"},
        {"an address of the network without a token",
         {QStringLiteral("--http"), QStringLiteral("[::]:8080")},
         "",
         "--http-open"},
        {"a bad address",
         {QStringLiteral("--http"), QStringLiteral("bench-pi:8080")},
         nullptr,
         "--http"},
        {"a bad port", {QStringLiteral("--http"), QStringLiteral("80808")}, nullptr, "--http"},
        {"a short token",
         {QStringLiteral("--http"), QStringLiteral("8080")},
         "short",
         "VELKOR_HTTP_TOKEN"},
        {"--http-open alone", {QStringLiteral("--http-open")}, nullptr, "--http-open"},
    };
    for (const UsageCase& c : cases) {
        CliProcess cli;
        if (c.token) {
            cli.environment = {{QStringLiteral("VELKOR_HTTP_TOKEN"), QLatin1String(c.token)}};
        }
        cli.start(QStringList{QStringLiteral("log")} + c.args + QStringList{input});
        ASSERT_TRUE(cli.waitEnd(kWaitMs)) << c.name;
        EXPECT_EQ(cli.p.exitCode(), 2) << c.name << ": " << cli.err.toStdString();
        EXPECT_TRUE(cli.err.contains(c.says)) << c.name << ": " << cli.err.toStdString();
        EXPECT_TRUE(cli.lines.isEmpty()) << c.name;
    }

    // --http-open serves every address without a token.
    CliProcess open;
    open.start({QStringLiteral("log"), QStringLiteral("--http"), QStringLiteral("0.0.0.0:0"),
                QStringLiteral("--http-open"), QStringLiteral("-")});
    ASSERT_TRUE(open.waitReady()) << open.err.toStdString();
    const QString url = loopbackUrl(liveUrl(open));
    EXPECT_EQ(curl(url + QStringLiteral("metrics")).status, 200);
    // Its port, taken: a second logger cannot have it.
    CliProcess second;
    second.start({QStringLiteral("log"), QStringLiteral("--http"), url.section(u'/', 2, 2),
                  QStringLiteral("--http-open"), QStringLiteral("-")});
    ASSERT_TRUE(second.waitEnd(kWaitMs));
    EXPECT_EQ(second.p.exitCode(), 1);
    EXPECT_TRUE(second.err.contains("Address already in use")) << second.err.toStdString();
    open.p.closeWriteChannel();
    ASSERT_TRUE(open.waitEnd(kWaitMs));
    EXPECT_EQ(open.p.exitCode(), 0);
}

// 200 idle connections and clients that never read: the log goes on, every
// row printed at once, and a client that reads gets every one of them.
TEST_F(LogHttp, IdleAndStuckClientsDoNotHoldUpTheLog) {
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"),
               QStringLiteral("-")});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    const QString url = liveUrl(cli);
    ASSERT_FALSE(url.isEmpty());
    const quint16 port = url.section(u':', 2).section(u'/', 0, 0).toUShort();
    write(cli, firstFrames(walk, 2000));
    ASSERT_TRUE(cli.waitLines(1 + 2000));

    std::vector<int> fds;
    for (int i = 0; i < 200; ++i) {
        fds.push_back(connectWithoutReading(port));
        ASSERT_GE(fds.back(), 0);
    }
    fds.push_back(
        connectWithoutReading(port, "GET /events?last=10000 HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    fds.push_back(
        connectWithoutReading(port, "GET /api/log.csv HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    CurlStream reader(url + QStringLiteral("events"));
    ASSERT_TRUE(reader.waitFor([](const auto& e) { return !e.isEmpty(); }, kWaitMs));

    // In chunks the reader can take as they come: the rows wait for the
    // server in a hand-off of bounded size, which a file read at full speed
    // could outrun while the server's thread waits for a core.
    for (int chunk = 1; chunk <= 10; ++chunk) {
        write(cli, demoBytes(walk, 2000));
        ASSERT_TRUE(cli.waitLines(1 + 2000 + chunk * 2000)) << cli.err.toStdString();
        ASSERT_TRUE(reader.waitFor(
            [&](const auto&) { return reader.readings().size() >= chunk * 2000; }, kWaitMs))
            << reader.readings().size();
    }
    for (qsizetype i = 0; i < 20000; ++i) {
        ASSERT_EQ(reader.readings()[i].id, cli.lines[2001 + i].section(u',', 0, 0).toUtf8()) << i;
    }
    cli.p.closeWriteChannel();
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    for (int fd : fds) {
        ::close(fd);
    }
}

} // namespace
