// velkor-cli log publishing to the lab's systems as a user runs it, against
// a real Mosquitto broker and a real InfluxDB (influxd) on 127.0.0.1:
//   throughput  the rows per second one logger gets acknowledged: by the
//               broker (QoS 1; a file of frames through velkor-cli log
//               --mqtt, a subscriber counting until it has every row), and
//               by InfluxDB (log --influx, until a count query finds every
//               row);
//   cpu         the CPU velkor-cli log --device costs when velkor-metersim
//               feeds it at 137 frames/s: without publishing, with --mqtt,
//               and with --mqtt --ha-discovery --influx, from /proc/PID/stat
//               (utime + stime) over the run.
// Each figure is run several times and the median printed.
//
//   velkor-bench-cli-mqtt CLI METERSIM [--rows N] [--seconds S] [--runs K]
#include "MeteredLogger.h"
#include "support/broker/ChildProcess.h"
#include "support/broker/MosquittoBroker.h"
#include "support/broker/TestSubscriber.h"
#include "support/influx/InfluxServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace velkor;
using namespace velkor::test;
using velkor::bench::median;
using namespace std::chrono_literals;

namespace {

const QString kTopic = QStringLiteral("bench/1");

QString urlOf(const MosquittoBroker& broker) {
    return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(kTopic);
}

// Seconds from the logger's start until the subscriber holds every row.
double throughputRun(const QString& cli, const QString& input, int rows, int* got) {
    MosquittoBroker broker;
    if (const QString e = broker.start(); !e.isEmpty()) {
        std::fprintf(stderr, "broker: %s\n", qPrintable(e));
        return -1;
    }
    TestSubscriber::Options so;
    so.port = broker.port();
    so.topics = {kTopic + QStringLiteral("/reading")};
    TestSubscriber sub(so);
    if (!sub.waitSubscribed(30s)) {
        return -1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    ChildProcess logger;
    if (!logger.start(cli, {QStringLiteral("log"), QStringLiteral("--mqtt"), urlOf(broker), input},
                      QStringLiteral("/dev/null"))) {
        return -1;
    }
    sub.waitFor([&](const auto& m) { return m.size() >= std::size_t(rows); }, 300s);
    const auto t1 = std::chrono::steady_clock::now();
    logger.wait(60s);
    *got = int(sub.messages().size());
    return std::chrono::duration<double>(t1 - t0).count();
}

// Seconds from the logger's start until InfluxDB holds every row.
double influxThroughputRun(const QString& cli, const QString& input, int rows, int* got) {
    InfluxServer server;
    if (const QString e = server.start(); !e.isEmpty() || !server.createDatabase("bench")) {
        std::fprintf(stderr, "influxd: %s\n", qPrintable(e));
        return -1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    ChildProcess logger;
    if (!logger.start(cli,
                      {QStringLiteral("log"), QStringLiteral("--influx"),
                       server.writeUrl(QStringLiteral("bench")), input},
                      QStringLiteral("/dev/null"))) {
        return -1;
    }
    const auto until = t0 + 300s;
    *got = 0;
    while (*got < rows && std::chrono::steady_clock::now() < until) {
        const auto points =
            server.query(QStringLiteral("bench"), QStringLiteral("SELECT count(no) FROM meter"));
        *got = points.empty() ? 0 : int(points.front().value(QLatin1String("count")).toInteger());
        if (*got < rows) {
            QThread::msleep(20);
        }
    }
    const auto t1 = std::chrono::steady_clock::now();
    logger.wait(60s);
    return std::chrono::duration<double>(t1 - t0).count();
}

enum class Publishing { None, Mqtt, All };

double cpuRun(const QString& cli, const QString& metersim, const QString& dir, Publishing what,
              int seconds) {
    const bool mqtt = what != Publishing::None;
    MosquittoBroker broker;
    if (mqtt && !broker.start().isEmpty()) {
        return -1;
    }
    InfluxServer influx;
    if (what == Publishing::All &&
        (!influx.start().isEmpty() || !influx.createDatabase(QStringLiteral("bench")))) {
        return -1;
    }
    QStringList options;
    if (mqtt) {
        options << QStringLiteral("--mqtt") << urlOf(broker);
    }
    if (what == Publishing::All) {
        options << QStringLiteral("--ha-discovery") << QStringLiteral("--influx")
                << influx.writeUrl(QStringLiteral("bench"));
    }
    bench::MeteredLogger run;
    if (!run.start(cli, metersim, dir, options)) {
        return -1;
    }
    QThread::sleep(2); // started, connected, logging
    return run.cpuPercent(seconds);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: %s CLI METERSIM [--rows N] [--seconds S] [--runs K]\n",
                     argv[0]);
        return 2;
    }
    const QString cli = a[1], metersim = a[2];
    auto option = [&](const char* name, int fallback) {
        return bench::intOption(a, name, fallback);
    };
    // Below the publisher's queue of 100,000: no row is dropped while the
    // file is read far faster than any broker takes it.
    const int rows = option("--rows", 90000);
    const int seconds = option("--seconds", 60);
    const int runs = option("--runs", 3);

    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("frames.bin"));
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly) || f.write(bench::demoFrameStream(rows)) < 0) {
            return 1;
        }
    }

    std::vector<double> rates;
    for (int r = 0; r < runs; ++r) {
        int got = 0;
        const double s = throughputRun(cli, input, rows, &got);
        std::printf("throughput run %d: %d rows in %.2f s = %.0f rows/s\n", r + 1, got, s, got / s);
        std::fflush(stdout);
        rates.push_back(got / s);
    }
    std::printf("throughput median: %.0f rows/s (QoS 1, acknowledged, to a local broker)\n",
                median(rates));

    std::vector<double> influxRates;
    for (int r = 0; r < runs; ++r) {
        int got = 0;
        const double s = influxThroughputRun(cli, input, rows, &got);
        std::printf("influx throughput run %d: %d rows in %.2f s = %.0f rows/s\n", r + 1, got, s,
                    got / s);
        std::fflush(stdout);
        influxRates.push_back(got / s);
    }
    std::printf("influx throughput median: %.0f rows/s (written, to a local influxd)\n",
                median(influxRates));

    const std::pair<Publishing, const char*> configs[] = {
        {Publishing::None, "without"},
        {Publishing::Mqtt, "with --mqtt"},
        {Publishing::All, "with --mqtt --ha-discovery --influx"},
    };
    for (const auto& [what, name] : configs) {
        std::vector<double> cpu;
        for (int r = 0; r < runs; ++r) {
            const double pct = cpuRun(cli, metersim, dir.path(), what, seconds);
            std::printf("cpu %s run %d: %.3f %% of one core\n", name, r + 1, pct);
            std::fflush(stdout);
            cpu.push_back(pct);
        }
        std::printf("cpu median %s: %.3f %% of one core at 137 frames/s over %d s\n", name,
                    median(cpu), seconds);
    }
    return 0;
}
