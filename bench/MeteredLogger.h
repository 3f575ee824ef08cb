#pragma once

#include "ProcessCpu.h"
#include "sim/DemoScenario.h"
#include "support/broker/ChildProcess.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QThread>
#include <chrono>
#include <csignal>

namespace velkor::bench {

// velkor-cli log --device fed by velkor-metersim at 137 frames/s on a link
// in `dir`, as the command-line benchmarks measure it. Both end with it.
class MeteredLogger {
public:
    MeteredLogger() = default;
    MeteredLogger(const MeteredLogger&) = delete;
    MeteredLogger& operator=(const MeteredLogger&) = delete;
    ~MeteredLogger() {
        using namespace std::chrono_literals;
        logger_.signal(SIGTERM);
        logger_.wait(30s);
        sim_.signal(SIGTERM);
        sim_.wait(30s);
    }

    // Starts the meter, waits for its link, starts the logger with
    // `options` besides --device.
    bool start(const QString& cli, const QString& metersim, const QString& dir,
               const QStringList& options) {
        using namespace std::chrono_literals;
        const QString link = dir + QStringLiteral("/meter");
        QFile::remove(link);
        if (!sim_.start(
                metersim,
                {QStringLiteral("--rate"), QStringLiteral("137"), QStringLiteral("--link"), link},
                dir + QStringLiteral("/sim.out"))) {
            return false;
        }
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (!QFileInfo::exists(link) && std::chrono::steady_clock::now() < until) {
            QThread::msleep(20);
        }
        return logger_.start(
            cli, QStringList{QStringLiteral("log"), QStringLiteral("--device"), link} + options,
            QStringLiteral("/dev/null"));
    }

    pid_t loggerPid() const { return logger_.pid(); }
    // Ends the logger as a service stop does (SIGTERM) and reaps it.
    void stopLogger() {
        using namespace std::chrono_literals;
        logger_.signal(SIGTERM);
        logger_.wait(300s);
    }

    // The logger's CPU over the next `seconds`, in percent of one core.
    double cpuPercent(int seconds) {
        const double c0 = processCpuSeconds(logger_.pid());
        const auto t0 = std::chrono::steady_clock::now();
        QThread::sleep(static_cast<unsigned long>(seconds));
        const double c1 = processCpuSeconds(logger_.pid());
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        return 100.0 * (c1 - c0) / wall;
    }

private:
    test::ChildProcess sim_;
    test::ChildProcess logger_;
};

// The simulated meter's next `frames` frames after the line end that the
// one before would have left, so that the first frame counts too.
inline QByteArray demoFrameStream(int frames) {
    QByteArray bytes("\n");
    DemoWalk walk;
    for (int i = 0; i < frames; ++i) {
        const auto b = walk.next().frame.bytes();
        bytes.append(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    }
    return bytes;
}

// --name N among a benchmark's arguments, or `fallback`.
inline int intOption(const QStringList& args, const char* name, int fallback) {
    const qsizetype i = args.indexOf(QLatin1String(name));
    return i > 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

} // namespace velkor::bench
