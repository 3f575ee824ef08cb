// velkor-cli log into an SQLite file as a user runs it, beside the XML log
// written whole at checkpoints:
//   live     log --device fed by velkor-metersim at 137 frames/s for S
//            seconds: the bytes the logger had the disk write
//            (/proc/PID/io write_bytes, sampled every 30 s and just before
//            the stop, and every byte up to its end from the rusage of the
//            reaped child) against the file's size, its CPU so far (the
//            time its threads ran, from schedstat) and its resident memory,
//            every 30 s; with --save run.sqlite and with --save run.xml
//            --checkpoint 60, one after the other or, with --side-by-side,
//            at the same time (each on a meter of its own); then with
//            --checkpoint 1 for at most 90 s;
//   bulk     log FILE of N frames: without saving, with --save x.sqlite and
//            with --save x.xml, rows per second;
//   convert  convert x.sqlite y.xml against convert x.xml y.xml of the same
//            N rows.
// Each bulk figure is the median of K runs.
//
//   velkor-bench-cli-sqlite CLI METERSIM [--seconds S] [--frames N] [--runs K]
//                           [--skip-live] [--skip-bulk] [--side-by-side]
#include "MeteredLogger.h"
#include "ProcessCpu.h"
#include "support/broker/ChildProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace velkor;
using namespace std::chrono_literals;

namespace {

// A field of /proc/PID/FILE given as "NAME: VALUE" (status, io).
long long procField(pid_t pid, const char* file, const char* name) {
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

// Bytes the reaped children had written, all told.
long long childrenWriteBytes() {
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<long long>(u.ru_oublock) * 512;
}

// The log's bytes on the disk, with SQLite's write-ahead log beside it.
long long fileBytes(const QString& path) {
    long long n = QFileInfo(path).size();
    for (const char* side : {"-wal", "-shm"}) {
        n += QFileInfo(path + QLatin1String(side)).size();
    }
    return n;
}

void removeLog(const QString& path) {
    for (const char* side : {"", "-wal", "-shm"}) {
        QFile::remove(path + QLatin1String(side));
    }
}

// One logger of the live comparison, fed by a simulated meter of its own.
class LiveLog {
public:
    LiveLog(const char* name, QString file) : name_(name), file_(std::move(file)) {}

    bool start(const QString& cli, const QString& metersim, const QString& dir,
               const QStringList& more) {
        if (!run_.start(cli, metersim, dir, QStringList{QStringLiteral("--save"), file_} + more)) {
            std::printf("live %s: did not start\n", name_);
            return false;
        }
        t0_ = std::chrono::steady_clock::now();
        cpu0_ = bench::processRunSeconds(run_.loggerPid());
        return true;
    }

    // The bytes written so far against the file, the CPU so far, the memory.
    void sample() {
        const pid_t pid = run_.loggerPid();
        rss_.push_back(procField(pid, "status", "VmRSS"));
        const long long written = procField(pid, "io", "write_bytes");
        const long long size = fileBytes(file_);
        std::printf("  %s at %4.0f s: file %.2f MB, written %.2f MB (%.1f x), cpu %.3f %%, RSS "
                    "%lld kB\n",
                    name_, seconds(), size / 1e6, written / 1e6,
                    double(written) / double(std::max(1LL, size)), cpuPercent(), rss_.back());
        std::fflush(stdout);
    }

    void stop() {
        const double wall = seconds();
        const double cpu = cpuPercent();
        const pid_t pid = run_.loggerPid();
        const long long running = procField(pid, "io", "write_bytes");
        const long long reapedBefore = childrenWriteBytes();
        run_.stopLogger();
        const long long all = childrenWriteBytes() - reapedBefore;
        const long long size = fileBytes(file_);
        std::printf("live %s: %.0f s, file %.2f MB, written %.2f MB while running (%.1f x the "
                    "file), %.2f MB up to its end (%.1f x), cpu %.3f %% of one core, RSS "
                    "%lld..%lld kB\n",
                    name_, wall, size / 1e6, running / 1e6,
                    double(running) / double(std::max(1LL, size)), all / 1e6,
                    double(all) / double(std::max(1LL, size)), cpu,
                    rss_.empty() ? 0 : *std::min_element(rss_.begin(), rss_.end()),
                    rss_.empty() ? 0 : *std::max_element(rss_.begin(), rss_.end()));
        std::fflush(stdout);
    }

private:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
    }
    double cpuPercent() const {
        return 100.0 * (bench::processRunSeconds(run_.loggerPid()) - cpu0_) /
               std::max(1e-9, seconds());
    }

    const char* name_;
    QString file_;
    bench::MeteredLogger run_;
    std::chrono::steady_clock::time_point t0_;
    double cpu0_ = 0;
    std::vector<long long> rss_;
};

// Runs the loggers side by side for `seconds`, sampling each every 30 s.
void liveRuns(std::vector<LiveLog*> logs, int seconds) {
    for (int s = 1; s <= seconds; ++s) {
        QThread::sleep(1);
        if (s % 30 == 0) {
            for (LiveLog* log : logs) {
                log->sample();
            }
        }
    }
    for (LiveLog* log : logs) {
        log->stop();
    }
}

// Seconds a command takes, start to end; -1 when it fails.
double timed(const QString& program, const QStringList& args) {
    test::ChildProcess p;
    const auto t0 = std::chrono::steady_clock::now();
    if (!p.run(program, args, 600s, QStringLiteral("/dev/null"))) {
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr,
                     "usage: %s CLI METERSIM [--seconds S] [--frames N] [--runs K] "
                     "[--skip-live] [--skip-bulk] [--side-by-side]\n",
                     argv[0]);
        return 2;
    }
    const QString cli = a[1], metersim = a[2];
    const int seconds = bench::intOption(a, "--seconds", 600);
    const int frames = bench::intOption(a, "--frames", 1'000'000);
    const int runs = bench::intOption(a, "--runs", 3);
    QTemporaryDir dir;

    if (!a.contains(QStringLiteral("--skip-bulk"))) {
        const QString input = dir.filePath(QStringLiteral("frames.bin"));
        {
            QFile f(input);
            if (!f.open(QIODevice::WriteOnly) || f.write(bench::demoFrameStream(frames)) < 0) {
                return 1;
            }
        }
        const QString sqlite = dir.filePath(QStringLiteral("x.sqlite"));
        const QString xml = dir.filePath(QStringLiteral("x.xml"));
        const QString out = dir.filePath(QStringLiteral("y.xml"));
        const std::pair<const char*, QStringList> logs[] = {
            {"without --save", {QStringLiteral("log"), input}},
            {"--save x.sqlite", {QStringLiteral("log"), QStringLiteral("--save"), sqlite, input}},
            {"--save x.xml", {QStringLiteral("log"), QStringLiteral("--save"), xml, input}},
        };
        for (const auto& [name, args] : logs) {
            std::vector<double> t;
            for (int r = 0; r < runs; ++r) {
                if (args.contains(sqlite)) {
                    removeLog(sqlite); // a new file each run, one run of N rows
                }
                t.push_back(timed(cli, args));
            }
            const double m = bench::median(t);
            std::printf("bulk log %s: %d frames in %.2f s (median of %d) = %.0f rows/s\n", name,
                        frames, m, runs, frames / m);
            std::fflush(stdout);
        }
        const std::pair<const char*, QString> converts[] = {{"x.sqlite", sqlite}, {"x.xml", xml}};
        for (const auto& [name, in] : converts) {
            std::vector<double> t;
            for (int r = 0; r < runs; ++r) {
                t.push_back(timed(cli, {QStringLiteral("convert"), in, out}));
            }
            std::printf("convert %s y.xml: %d rows in %.2f s (median of %d)\n", name, frames,
                        bench::median(t), runs);
            std::fflush(stdout);
        }
    }

    if (!a.contains(QStringLiteral("--skip-live"))) {
        // Each logger has a folder of its own: its meter's link and its log.
        QTemporaryDir sqliteDir, xmlDir;
        LiveLog sqlite("--save run.sqlite", sqliteDir.filePath(QStringLiteral("run.sqlite")));
        LiveLog xml60("--save run.xml --checkpoint 60", xmlDir.filePath(QStringLiteral("run.xml")));
        const QStringList every60 = {QStringLiteral("--checkpoint"), QStringLiteral("60")};
        if (a.contains(QStringLiteral("--side-by-side"))) {
            if (sqlite.start(cli, metersim, sqliteDir.path(), {}) &&
                xml60.start(cli, metersim, xmlDir.path(), every60)) {
                liveRuns({&sqlite, &xml60}, seconds);
            }
        } else {
            if (sqlite.start(cli, metersim, sqliteDir.path(), {})) {
                liveRuns({&sqlite}, seconds);
            }
            if (xml60.start(cli, metersim, xmlDir.path(), every60)) {
                liveRuns({&xml60}, seconds);
            }
        }
        QTemporaryDir everySecondDir;
        LiveLog xml1("--save run.xml --checkpoint 1",
                     everySecondDir.filePath(QStringLiteral("run.xml")));
        if (xml1.start(cli, metersim, everySecondDir.path(),
                       {QStringLiteral("--checkpoint"), QStringLiteral("1")})) {
            liveRuns({&xml1}, std::min(seconds, 90));
        }
    }
    return 0;
}
