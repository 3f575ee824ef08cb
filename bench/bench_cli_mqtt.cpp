// velkor-cli log --mqtt as a user runs it, against a real Mosquitto broker
// on 127.0.0.1:
//   throughput  the rows per second one logger gets acknowledged (QoS 1):
//               a file of frames through velkor-cli log, a subscriber
//               counting until it has every row;
//   cpu         the CPU velkor-cli log --device costs when velkor-metersim
//               feeds it at 137 frames/s, without and with --mqtt, from
//               /proc/PID/stat (utime + stime) over the run.
// Each figure is run several times and the median printed.
//
//   velkor-bench-cli-mqtt CLI METERSIM [--rows N] [--seconds S] [--runs K]
#include "MeteredLogger.h"
#include "support/broker/ChildProcess.h"
#include "support/broker/MosquittoBroker.h"
#include "support/broker/TestSubscriber.h"

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

double cpuRun(const QString& cli, const QString& metersim, const QString& dir, bool mqtt,
              int seconds) {
    MosquittoBroker broker;
    if (mqtt && !broker.start().isEmpty()) {
        return -1;
    }
    QStringList options;
    if (mqtt) {
        options << QStringLiteral("--mqtt") << urlOf(broker);
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

    for (const bool mqtt : {false, true}) {
        std::vector<double> cpu;
        for (int r = 0; r < runs; ++r) {
            const double pct = cpuRun(cli, metersim, dir.path(), mqtt, seconds);
            std::printf("cpu %s run %d: %.3f %% of one core\n", mqtt ? "with --mqtt" : "without",
                        r + 1, pct);
            std::fflush(stdout);
            cpu.push_back(pct);
        }
        std::printf("cpu median %s: %.3f %% of one core at 137 frames/s over %d s\n",
                    mqtt ? "with --mqtt" : "without", median(cpu), seconds);
    }
    return 0;
}
