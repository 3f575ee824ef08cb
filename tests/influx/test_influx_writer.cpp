// The writer against a real InfluxDB 1.x (Debian's influxd) and against a
// stand-in for the 2.x write endpoint, each started by the test on
// 127.0.0.1: what is written reads back the same, a server that goes away
// and comes back loses nothing, refusals end the writer with the server's
// reason, the request has the form each API documents.

#include "influx/InfluxLine.h"
#include "influx/InfluxWriter.h"
#include "support/broker/MosquittoBroker.h"
#include "support/influx/InfluxServer.h"

#include <QJsonArray>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace velkor::influx {
namespace {

using namespace std::chrono_literals;
using test::FakeInflux2;
using test::InfluxServer;

constexpr auto kWait = 60s;

class EventLog {
public:
    InfluxWriter::EventHandler handler() {
        return [this](const InfluxEvent& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
            changed_.notify_all();
        };
    }
    bool waitFor(InfluxEventKind kind, std::size_t count = 1) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kWait, [&] {
            return std::size_t(
                       std::count_if(events_.begin(), events_.end(), [&](const InfluxEvent& e) {
                           return e.kind == kind;
                       })) >= count;
        });
    }
    std::vector<InfluxEvent> of(InfluxEventKind kind) const {
        std::lock_guard lock(mutex_);
        std::vector<InfluxEvent> found;
        std::copy_if(events_.begin(), events_.end(), std::back_inserter(found),
                     [&](const InfluxEvent& e) { return e.kind == kind; });
        return found;
    }
    QString all() const {
        std::lock_guard lock(mutex_);
        QString text;
        for (const InfluxEvent& e : events_) {
            text += e.message + QLatin1Char('\n');
        }
        return text;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<InfluxEvent> events_;
};

template <class Done> bool waitUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + kWait;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return done();
        }
        QThread::msleep(5);
    }
    return true;
}

InfluxWriterOptions optionsFor(const QString& url, const std::optional<QString>& token = {}) {
    const InfluxUrlParse parsed = parseInfluxUrl(url, token);
    EXPECT_TRUE(parsed.target) << qPrintable(parsed.error);
    InfluxWriterOptions o;
    o.target = parsed.target.value_or(InfluxTarget{});
    o.batchDelay = 50ms;
    o.maxBatch = 500;
    o.minBackoff = 50ms;
    o.maxBackoff = 400ms;
    return o;
}

InfluxRow rowNo(qint64 no) {
    InfluxRow r;
    r.no = no;
    r.timeNs = 1765443903000000000 + no * 1000;
    r.device = QStringLiteral("/dev/serial/by-id/usb meter,1");
    r.topic = QStringLiteral("bench/3");
    r.function = no % 2 ? QStringLiteral("DC") : QStringLiteral("AC");
    r.unit = QStringLiteral("V");
    r.judge = no % 7 ? QStringLiteral("pass") : QStringLiteral("Fail");
    r.value = QString::number(no % 1000) + QStringLiteral(".5");
    r.valueUnit = QStringLiteral("mV");
    r.si = (double(no % 1000) + 0.5) / 1000.0;
    if (no == 5) {
        r.value = QStringLiteral("say \"OL\"\\");
        r.valueUnit = QStringLiteral("M\u03A9");
        r.unit = QStringLiteral("\u03A9");
        r.si = std::nullopt;
    }
    return r;
}

TEST(InfluxWriter, RowsReadBackFromARealServerAsTheyWereLogged) {
    InfluxServer server;
    ASSERT_EQ(server.start(), QString());
    ASSERT_TRUE(server.createDatabase(QStringLiteral("velkor")));
    EventLog events;
    InfluxWriter writer(optionsFor(server.writeUrl(QStringLiteral("velkor"))), events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    constexpr int kRows = 2000;
    for (int i = 1; i <= kRows; ++i) {
        ASSERT_TRUE(writer.write(influxLine(rowNo(i))));
    }
    ASSERT_TRUE(waitUntil([&] { return writer.stats().written == kRows; }))
        << qPrintable(events.all());
    EXPECT_TRUE(writer.stop());
    const InfluxWriterStats stats = writer.stats();
    EXPECT_TRUE(stats.gzip);
    EXPECT_GE(stats.requests, 1u + kRows / 500); // the check, then batches of at most 500
    EXPECT_LT(stats.requests, 1u + kRows / 10);  // ... not a request a row

    QString error;
    const auto points =
        server.query(QStringLiteral("velkor"), QStringLiteral("SELECT * FROM meter"), &error);
    ASSERT_EQ(points.size(), std::size_t(kRows)) << qPrintable(error);
    for (int i = 1; i <= kRows; ++i) {
        const InfluxRow r = rowNo(i);
        const QJsonObject& p = points[std::size_t(i - 1)];
        ASSERT_EQ(p.value(QLatin1String("time")).toInteger(), r.timeNs);
        EXPECT_EQ(p.value(QLatin1String("no")).toInteger(), i);
        EXPECT_EQ(p.value(QLatin1String("device")).toString(), r.device);
        EXPECT_EQ(p.value(QLatin1String("topic")).toString(), r.topic);
        EXPECT_EQ(p.value(QLatin1String("function")).toString(), r.function);
        EXPECT_EQ(p.value(QLatin1String("unit")).toString(), r.unit);
        EXPECT_EQ(p.value(QLatin1String("judge")).toString(), r.judge);
        EXPECT_EQ(p.value(QLatin1String("value")).toString(), r.value);
        EXPECT_EQ(p.value(QLatin1String("value_unit")).toString(), r.valueUnit);
        if (r.si) {
            EXPECT_EQ(p.value(QLatin1String("si")).toDouble(), *r.si);
        } else {
            EXPECT_TRUE(p.value(QLatin1String("si")).isNull());
        }
    }
    EXPECT_TRUE(events.of(InfluxEventKind::WriteFailed).empty()) << qPrintable(events.all());
}

TEST(InfluxWriter, AServerThatGoesAwayAndComesBackLosesNothing) {
    InfluxServer server;
    ASSERT_EQ(server.start(), QString());
    ASSERT_TRUE(server.createDatabase(QStringLiteral("velkor")));
    EventLog events;
    InfluxWriter writer(optionsFor(server.writeUrl(QStringLiteral("velkor"))), events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    for (int i = 1; i <= 100; ++i) {
        writer.write(influxLine(rowNo(i)));
    }
    ASSERT_TRUE(waitUntil([&] { return writer.stats().written == 100; }))
        << qPrintable(events.all());
    server.stop();
    for (int i = 101; i <= 400; ++i) {
        writer.write(influxLine(rowNo(i)));
    }
    ASSERT_TRUE(events.waitFor(InfluxEventKind::WriteFailed)) << qPrintable(events.all());
    EXPECT_EQ(writer.stats().written, 100u);
    ASSERT_EQ(server.start(), QString());
    ASSERT_TRUE(events.waitFor(InfluxEventKind::Connected, 2)) << qPrintable(events.all());
    EXPECT_TRUE(events.of(InfluxEventKind::Connected).back().message.contains("writing again"));
    ASSERT_TRUE(waitUntil([&] { return writer.stats().written == 400; }))
        << qPrintable(events.all());
    EXPECT_TRUE(writer.stop());
    const auto points =
        server.query(QStringLiteral("velkor"), QStringLiteral("SELECT no FROM meter"));
    ASSERT_EQ(points.size(), 400u);
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].value(QLatin1String("no")).toInteger(), qint64(i + 1));
    }
    EXPECT_EQ(events.of(InfluxEventKind::WriteFailed).size(), 1u)
        << "said once: " << qPrintable(events.all());
}

TEST(InfluxWriter, AnUnknownDatabaseEndsTheWriterWithTheServersReason) {
    InfluxServer server;
    ASSERT_EQ(server.start(), QString());
    EventLog events;
    InfluxWriter writer(optionsFor(server.writeUrl(QStringLiteral("nope"))), events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    ASSERT_TRUE(events.waitFor(InfluxEventKind::Fatal)) << qPrintable(events.all());
    const QString message = events.of(InfluxEventKind::Fatal).front().message;
    EXPECT_TRUE(message.contains(QStringLiteral("no such database"))) << qPrintable(message);
    EXPECT_TRUE(message.contains(QStringLiteral("database not found: \"nope\"")))
        << qPrintable(message);
    EXPECT_TRUE(message.contains(QStringLiteral("127.0.0.1:%1").arg(server.port())))
        << qPrintable(message);
    EXPECT_EQ(writer.fatalError(), message);
    EXPECT_FALSE(writer.write(influxLine(rowNo(1))));
    EXPECT_FALSE(writer.stop());
}

TEST(InfluxWriter, TheTwoXRequestHasTheDocumentedForm) {
    FakeInflux2 server(FakeInflux2::Options{});
    ASSERT_EQ(server.start(), QString());
    EventLog events;
    InfluxWriter writer(optionsFor(server.writeUrl(QStringLiteral("lab"), QStringLiteral("bench")),
                                   QStringLiteral("t0ken")),
                        events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    std::vector<QString> sent;
    for (int i = 1; i <= 1200; ++i) {
        sent.push_back(QString::fromUtf8(influxLine(rowNo(i))));
        writer.write(influxLine(rowNo(i)));
    }
    ASSERT_TRUE(waitUntil([&] { return writer.stats().written == 1200; }))
        << qPrintable(events.all());
    EXPECT_TRUE(writer.stop());
    EXPECT_EQ(server.lines(), sent);
    const auto requests = server.requests();
    ASSERT_GE(requests.size(), 3u); // the check, then batches of 500 at most
    for (const QJsonObject& r : requests) {
        EXPECT_EQ(r.value(QLatin1String("query")).toString(),
                  QStringLiteral("org=lab&bucket=bench"));
        EXPECT_EQ(r.value(QLatin1String("contentType")).toString(),
                  QStringLiteral("text/plain; charset=utf-8"));
        if (!r.value(QLatin1String("lines")).toArray().isEmpty()) {
            EXPECT_EQ(r.value(QLatin1String("encoding")).toString(), QStringLiteral("gzip"));
        }
        EXPECT_LE(r.value(QLatin1String("lines")).toArray().size(), 500);
    }
}

struct Refusal {
    const char* name;
    const char* token;
    const char* org;
    const char* bucket;
    const char* reason;
};

class InfluxWriterRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(InfluxWriterRefusal, EndsTheWriterWithTheServersReason) {
    const Refusal& c = GetParam();
    FakeInflux2 server(FakeInflux2::Options{});
    ASSERT_EQ(server.start(), QString());
    EventLog events;
    InfluxWriter writer(
        optionsFor(server.writeUrl(QString::fromUtf8(c.org), QString::fromUtf8(c.bucket)),
                   QString::fromUtf8(c.token)),
        events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    writer.write(influxLine(rowNo(1)));
    ASSERT_TRUE(events.waitFor(InfluxEventKind::Fatal)) << qPrintable(events.all());
    const QString message = events.of(InfluxEventKind::Fatal).front().message;
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.reason))) << qPrintable(message);
    EXPECT_FALSE(message.contains(QString::fromUtf8(c.token))) << "no token in a message";
    EXPECT_FALSE(writer.stop());
    EXPECT_TRUE(server.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, InfluxWriterRefusal,
    ::testing::Values(Refusal{"Token", "wr0ng", "lab", "bench",
                              "refused the credentials (HTTP 401: unauthorized access)"},
                      Refusal{"Bucket", "t0ken", "lab", "nope",
                              "no such organisation or bucket (HTTP 404: "
                              "bucket \"nope\" not found)"},
                      Refusal{"Org", "t0ken", "elsewhere", "bench",
                              "organization name \"elsewhere\" not found"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InfluxWriter, UnavailableIsTriedAgainAndGzipRefusedFallsBackToPlain) {
    FakeInflux2::Options o;
    o.unavailable = 2;
    o.refuseGzip = true;
    FakeInflux2 server(o);
    ASSERT_EQ(server.start(), QString());
    EventLog events;
    InfluxWriterOptions options = optionsFor(
        server.writeUrl(QStringLiteral("lab"), QStringLiteral("bench")), QStringLiteral("t0ken"));
    InfluxWriter writer(options, events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    for (int i = 1; i <= 50; ++i) {
        writer.write(influxLine(rowNo(i)));
    }
    ASSERT_TRUE(waitUntil([&] { return writer.stats().written == 50; }))
        << qPrintable(events.all());
    EXPECT_TRUE(writer.stop());
    EXPECT_FALSE(writer.stats().gzip);
    ASSERT_EQ(server.lines().size(), 50u);
    for (const QJsonObject& r : server.requests()) {
        EXPECT_EQ(r.value(QLatin1String("encoding")).toString(), QString());
    }
    const auto failed = events.of(InfluxEventKind::WriteFailed);
    ASSERT_EQ(failed.size(), 1u) << qPrintable(events.all());
    EXPECT_TRUE(
        failed.front().message.contains(QStringLiteral("HTTP 503: temporarily unavailable")));
}

TEST(InfluxWriter, AFullQueueDropsTheOldestRowsAndSaysHowMany) {
    // Nothing listens: every row waits until the queue is full.
    InfluxWriterOptions o =
        optionsFor(QStringLiteral("http://127.0.0.1:%1/write?db=x").arg(test::freeLoopbackPort()));
    o.queueCapacity = 100;
    EventLog events;
    InfluxWriter writer(o, events.handler());
    ASSERT_EQ(writer.start(), std::nullopt);
    for (int i = 1; i <= 250; ++i) {
        writer.write(influxLine(rowNo(i)));
    }
    ASSERT_TRUE(events.waitFor(InfluxEventKind::QueueFull)) << qPrintable(events.all());
    ASSERT_TRUE(events.waitFor(InfluxEventKind::WriteFailed)) << qPrintable(events.all());
    EXPECT_FALSE(writer.stop(0ms));
    const auto dropped = events.of(InfluxEventKind::RowsDropped);
    ASSERT_EQ(dropped.size(), 1u) << qPrintable(events.all());
    EXPECT_EQ(dropped.front().count, 150u);
    const auto unwritten = events.of(InfluxEventKind::RowsUnwritten);
    ASSERT_EQ(unwritten.size(), 1u) << qPrintable(events.all());
    EXPECT_EQ(unwritten.front().count, 100u);
    EXPECT_TRUE(events.of(InfluxEventKind::WriteFailed).front().message.contains("connect"))
        << qPrintable(events.all());
}

} // namespace
} // namespace velkor::influx
