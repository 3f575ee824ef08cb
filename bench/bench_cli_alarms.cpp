// velkor-cli stats and log's alarms as a user runs them:
//   stats  the time of velkor-cli stats on a log of --rows N rows (default
//          1,000,000: the simulated meter's walk, logged by velkor-cli log
//          --save), as an XML data packet and as a workbook (.xlsx);
//   cpu    the CPU of velkor-cli log --device on a pseudo-terminal fed at
//          137 frames/s whose readings leave the limits and come back once
//          a second: without alarms, and with --on-fail running a command
//          on each turn to Fail (one a second). Beside the logger's own
//          CPU (utime + stime from /proc), that of the commands it ran and
//          waited for (cutime + cstime).
// Each figure is run several times and the median printed.
//
//   velkor-bench-cli-alarms CLI [--rows N] [--seconds S] [--runs K] [--only stats|cpu]
#include "MeteredLogger.h"
#include "ProcessCpu.h"
#include "platform/linux/PseudoTerminal.h"
#include "sim/FrameEncoder.h"
#include "support/broker/ChildProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

using namespace velkor;
using velkor::bench::median;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 137;

// Seconds a command takes to its end, or a negative number when it fails.
double timed(const QString& program, const QStringList& args, const QString& output) {
    test::ChildProcess p;
    QElapsedTimer t;
    t.start();
    if (!p.run(program, args, 600s, output)) {
        return -1;
    }
    return double(t.nsecsElapsed()) / 1e9;
}

void benchStats(const QString& cli, const QString& dir, int rows, int runs) {
    const QString frames = dir + QStringLiteral("/frames.bin");
    {
        QFile f(frames);
        if (!f.open(QIODevice::WriteOnly) || f.write(bench::demoFrameStream(rows)) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(frames));
            return;
        }
    }
    const QString xml = dir + QStringLiteral("/log.xml");
    const QString xlsx = dir + QStringLiteral("/log.xlsx");
    const double made = timed(
        cli,
        {QStringLiteral("log"), QStringLiteral("--quiet"), QStringLiteral("--save"), xml, frames},
        QStringLiteral("/dev/null"));
    if (made < 0 ||
        timed(cli, {QStringLiteral("convert"), xml, xlsx}, QStringLiteral("/dev/null")) < 0) {
        std::fprintf(stderr, "cannot make the log\n");
        return;
    }
    std::printf("log of %d frames made and saved in %.2f s (%.1f MB as XML, %.1f MB as .xlsx)\n",
                rows, made, double(QFile(xml).size()) / 1e6, double(QFile(xlsx).size()) / 1e6);
    for (const QString& file : {xml, xlsx}) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            QFile::remove(dir + QStringLiteral("/stats.out"));
            const double t =
                timed(cli, {QStringLiteral("stats"), file}, dir + QStringLiteral("/stats.out"));
            if (t < 0) {
                std::fprintf(stderr, "stats %s failed\n", qPrintable(file));
                return;
            }
            times.push_back(t);
        }
        std::printf("stats %-9s %.3f s (median of %d)\n", qPrintable(file.section(u'/', -1)),
                    median(times), runs);
    }
    QFile out(dir + QStringLiteral("/stats.out"));
    if (out.open(QIODevice::ReadOnly)) {
        std::printf("%s", out.readAll().constData());
    }
}

// Frames at 137 a second on `line` until `stop`: in each second the first
// half reads 5 V, the second 12 V, so that against --hi 10 the judge turns
// Fail and back once a second.
void feed(PseudoTerminal& line, const std::atomic<bool>& stop) {
    const auto frameOf = [](const char* display) {
        return meterFrame(display, {status1::Auto | status1::DC, 0, 0, status4::Volt}).bytes();
    };
    const auto pass = frameOf("05.00");
    const auto fail = frameOf("12.00");
    const std::uint8_t lineEnd = 0x0A;
    line.send(&lineEnd, 1);
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; !stop; ++i) {
        std::this_thread::sleep_until(start + std::chrono::nanoseconds(i * 1'000'000'000L / kRate));
        const auto& f = i % kRate < kRate / 2 ? pass : fail;
        line.send(f.data(), f.size());
    }
}

struct CpuFigures {
    double logger = 0;   // percent of one core
    double commands = 0; // percent of one core
};

CpuFigures loggerCpu(const QString& cli, const QStringList& options, int seconds) {
    PseudoTerminal line;
    if (!line.open()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", qPrintable(line.errorText()));
        return {};
    }
    std::atomic<bool> stop{false};
    std::thread feeder([&] { feed(line, stop); });
    test::ChildProcess logger;
    CpuFigures f;
    if (logger.start(cli,
                     QStringList{QStringLiteral("log"), QStringLiteral("--quiet"),
                                 QStringLiteral("--hi"), QStringLiteral("10"),
                                 QStringLiteral("--device"), line.slavePath()} +
                         options,
                     QStringLiteral("/dev/null"))) {
        std::this_thread::sleep_for(3s); // started, the first commands run
        const double c0 = bench::processCpuSeconds(logger.pid());
        const double k0 = bench::childrenCpuSeconds(logger.pid());
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double c1 = bench::processCpuSeconds(logger.pid());
        const double k1 = bench::childrenCpuSeconds(logger.pid());
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        f = {100.0 * (c1 - c0) / wall, 100.0 * (k1 - k0) / wall};
        logger.signal(SIGTERM);
        logger.wait(30s);
    }
    stop = true;
    feeder.join();
    return f;
}

void benchCpu(const QString& cli, int seconds, int runs) {
    const struct {
        const char* name;
        QStringList options;
    } configs[] = {
        {"without alarms", {}},
        {"--on-fail true (a command a second)",
         {QStringLiteral("--on-fail"), QStringLiteral("true")}},
    };
    for (const auto& c : configs) {
        std::vector<double> logger, commands;
        for (int i = 0; i < runs; ++i) {
            const CpuFigures f = loggerCpu(cli, c.options, seconds);
            logger.push_back(f.logger);
            commands.push_back(f.commands);
        }
        std::printf("log at %d frames/s, %-36s logger %.2f %% of a core, its commands %.2f %% "
                    "(medians of %d runs of %d s)\n",
                    kRate, c.name, median(logger), median(commands), runs, seconds);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: %s CLI [--rows N] [--seconds S] [--runs K] "
                     "[--only stats|cpu]\n",
                     argv[0]);
        return 2;
    }
    const QString cli = args[1];
    const int rows = bench::intOption(args, "--rows", 1'000'000);
    const int seconds = bench::intOption(args, "--seconds", 30);
    const int runs = bench::intOption(args, "--runs", 3);
    const qsizetype only = args.indexOf(QStringLiteral("--only"));
    const QString which = only > 0 && only + 1 < args.size() ? args[only + 1] : QString();
    QTemporaryDir dir;
    if (which.isEmpty() || which == QLatin1String("stats")) {
        benchStats(cli, dir.path(), rows, runs);
    }
    if (which.isEmpty() || which == QLatin1String("cpu")) {
        benchCpu(cli, seconds, runs);
    }
    return 0;
}
