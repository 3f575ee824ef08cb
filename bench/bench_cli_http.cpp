// velkor-cli log --http as a user runs it, fed by velkor-metersim at 137
// frames/s on a pseudo-terminal:
//   cpu          the logger's CPU (utime + stime from /proc over the run)
//                without --http, and with it and 0, 1 and 20 browsers
//                (tabs of one headless Chromium) on the page;
//   first        the page's time to its first reading: from the start of
//                the page's navigation to the first reading drawn (the
//                page notes it), in a new tab each time;
//   throughput   the rows per second of log on a pipe of frames: without
//                --http, with it alone, and with 200 idle connections and
//                two clients that never read (until the last row is
//                printed).
// Each figure is run several times and the median printed; a screenshot
// of the page at a phone's width is kept.
//
//   velkor-bench-cli-http CLI METERSIM [--seconds S] [--runs K] [--loads L]
//                         [--rows N] [--screenshot FILE] [--only cpu|first|throughput]
#include "MeteredLogger.h"
#include "support/broker/ChildProcess.h"
#include "support/broker/MosquittoBroker.h"
#include "support/web/HeadlessBrowser.h"
#include "support/web/TcpClient.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace velkor;
using namespace velkor::test;
using velkor::bench::median;
using namespace std::chrono_literals;

namespace {

const QString kFirstReading = QStringLiteral("document.documentElement.dataset.firstReadingMs");

// The logger on the simulated meter, with --http on a port of its own.
struct LiveRun {
    bench::MeteredLogger logger;
    quint16 port = 0;

    bool start(const QString& cli, const QString& metersim, const QString& dir, bool http) {
        QStringList options;
        if (http) {
            // On every address, so that each page can have a loopback
            // address of its own: a browser keeps at most six connections
            // to one server, and each page holds one. The run is short and
            // shows only the simulated meter.
            port = freeLoopbackPort();
            options << QStringLiteral("--http") << QStringLiteral("0.0.0.0:%1").arg(port)
                    << QStringLiteral("--http-open");
        }
        return logger.start(cli, metersim, dir, options);
    }
    // The page at 127.0.0.N, N from 1 to 254.
    QString url(int n = 1) const {
        return QStringLiteral("http://127.0.0.%1:%2/").arg(n).arg(port);
    }
};

// Opens the page in a new tab and waits for its first reading; the tab.
std::optional<QString> openPage(HeadlessBrowser& browser, const QString& url, double* firstMs,
                                int width = 1000, int height = 900, bool mobile = false) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto tab = browser.open(url, width, height, mobile);
        if (tab && browser.waitTrue(*tab, QStringLiteral("!!") + kFirstReading, 20s)) {
            if (firstMs) {
                *firstMs = browser
                               .evaluate(*tab, QStringLiteral("Number(") + kFirstReading +
                                                   QStringLiteral(")"))
                               .toDouble();
            }
            return tab;
        }
        if (tab) {
            browser.close(*tab);
        }
        QThread::msleep(100); // the logger not listening yet
    }
    return std::nullopt;
}

double cpuRun(const QString& cli, const QString& metersim, const QString& dir, bool http,
              int browsers, int seconds, const QString& screenshot) {
    LiveRun run;
    if (!run.start(cli, metersim, dir, http)) {
        return -1;
    }
    HeadlessBrowser browser;
    if (browsers > 0) {
        if (const QString e = browser.start(); !e.isEmpty()) {
            std::fprintf(stderr, "browser: %s\n", qPrintable(e));
            return -1;
        }
        for (int i = 0; i < browsers; ++i) {
            double firstMs = 0;
            if (!openPage(browser, run.url(i + 1), &firstMs)) {
                std::fprintf(stderr, "the page showed no reading\n");
                return -1;
            }
            std::fprintf(stderr, "page %d of %d: first reading after %.0f ms\n", i + 1, browsers,
                         firstMs);
        }
    }
    QThread::sleep(2); // started, connected, logging
    const double cpu = run.logger.cpuPercent(seconds);
    if (!screenshot.isEmpty() && browsers == 1) {
        if (const auto phone = openPage(browser, run.url(2), nullptr, 390, 844, true)) {
            QThread::sleep(3); // a trend of a few seconds
            QFile png(screenshot);
            if (png.open(QIODevice::WriteOnly)) {
                png.write(browser.screenshot(*phone));
            }
        }
    }
    return cpu;
}

std::vector<double> firstReadings(const QString& cli, const QString& metersim, const QString& dir,
                                  int loads) {
    std::vector<double> out;
    LiveRun run;
    HeadlessBrowser browser;
    if (!run.start(cli, metersim, dir, true) || !browser.start().isEmpty()) {
        return out;
    }
    openPage(browser, run.url(), nullptr); // the browser warmed up, the logger listening
    for (int i = 0; i < loads; ++i) {
        double ms = -1;
        if (const auto tab = openPage(browser, run.url(2 + i), &ms)) {
            out.push_back(ms);
            browser.close(*tab);
        }
    }
    return out;
}

// Rows per second of log --http on a file, fed through a pipe that is
// held open until the clients are connected.
double throughputRun(const QString& cli, const QString& input, int rows, bool http, bool clients) {
    const quint16 port = freeLoopbackPort();
    int feed[2];
    if (::pipe(feed) != 0) {
        return -1;
    }
    ::fcntl(feed[1], F_SETFD, FD_CLOEXEC); // the logger sees the end
    // The logger reads standard input; a shell child holds the pipe's
    // reading end there.
    ChildProcess logger;
    const QString script = QStringLiteral("exec %1 log %2 - < /dev/fd/%3")
                               .arg(cli)
                               .arg(http ? QStringLiteral("--http %1").arg(port) : QString())
                               .arg(feed[0]);
    const QString printed = input + QStringLiteral(".out");
    QFile::remove(printed);
    if (!logger.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, printed)) {
        return -1;
    }
    ::close(feed[0]);
    std::vector<int> fds;
    const auto until = std::chrono::steady_clock::now() + 30s;
    int probe = -1;
    while (http && probe < 0 && std::chrono::steady_clock::now() < until) {
        probe = connectWithoutReading(port);
        QThread::msleep(probe < 0 ? 20 : 0);
    }
    fds.push_back(probe);
    if (clients) {
        for (int i = 0; i < 200; ++i) {
            fds.push_back(connectWithoutReading(port));
        }
        fds.push_back(connectWithoutReading(
            port, "GET /events?last=10000 HTTP/1.1\r\nHost: localhost\r\n\r\n"));
        fds.push_back(
            connectWithoutReading(port, "GET /api/log.csv HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    }
    QFile in(input);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    const auto t0 = std::chrono::steady_clock::now();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(feed[1], bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0) {
            break;
        }
        done += n;
    }
    ::close(feed[1]);
    // Until the last row is printed (the logger's end, after it, waits a
    // moment for the streams to take the end of the run).
    const QByteArray lastRow = '\n' + QByteArray::number(rows) + ',';
    QFile out(printed);
    const auto endBy = std::chrono::steady_clock::now() + 300s;
    while (std::chrono::steady_clock::now() < endBy) {
        if (out.isOpen() || out.open(QIODevice::ReadOnly)) {
            out.seek(std::max<qint64>(0, out.size() - 256));
            if (out.read(256).contains(lastRow)) {
                break;
            }
        }
        QThread::usleep(500);
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    logger.wait(300s);
    for (int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return rows / s;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr,
                     "usage: %s CLI METERSIM [--seconds S] [--runs K] [--loads L] [--rows N] "
                     "[--screenshot FILE]\n",
                     argv[0]);
        return 2;
    }
    const QString cli = a[1], metersim = a[2];
    auto option = [&](const char* name, int fallback) {
        return bench::intOption(a, name, fallback);
    };
    const int seconds = option("--seconds", 30);
    const int runs = option("--runs", 3);
    const int loads = option("--loads", 5);
    const int rows = option("--rows", 90000);
    const qsizetype shot = a.indexOf(QLatin1String("--screenshot"));
    const QString screenshot =
        shot > 0 && shot + 1 < a.size() ? a[shot + 1] : QStringLiteral("live-page.png");
    const qsizetype onlyAt = a.indexOf(QLatin1String("--only"));
    const QString only = onlyAt > 0 && onlyAt + 1 < a.size() ? a[onlyAt + 1] : QString();
    auto part = [&](const char* name) { return only.isEmpty() || only == QLatin1String(name); };

    QTemporaryDir dir;
    struct Config {
        const char* name;
        bool http;
        int browsers;
    };
    const Config configs[] = {
        {"without --http", false, 0},
        {"--http, 0 browsers", true, 0},
        {"--http, 1 browser", true, 1},
        {"--http, 20 browsers", true, 20},
    };
    for (const Config& c : configs) {
        if (!part("cpu")) {
            break;
        }
        std::vector<double> cpu;
        for (int r = 0; r < runs; ++r) {
            const double pct = cpuRun(cli, metersim, dir.path(), c.http, c.browsers, seconds,
                                      r == 0 ? screenshot : QString());
            std::printf("cpu %s run %d: %.3f %% of one core\n", c.name, r + 1, pct);
            std::fflush(stdout);
            cpu.push_back(pct);
        }
        std::printf("cpu median %s: %.3f %% of one core at 137 frames/s over %d s\n", c.name,
                    median(cpu), seconds);
        std::fflush(stdout);
    }
    if (part("cpu")) {
        std::printf("screenshot: %s\n", qPrintable(screenshot));
    }

    const std::vector<double> first =
        part("first") ? firstReadings(cli, metersim, dir.path(), loads) : std::vector<double>();
    for (std::size_t i = 0; i < first.size(); ++i) {
        std::printf("first reading, load %zu: %.0f ms\n", i + 1, first[i]);
    }
    if (part("first")) {
        std::printf("first reading median: %.0f ms from navigation to the first reading drawn\n",
                    median(first));
        std::fflush(stdout);
    }
    if (!part("throughput")) {
        return 0;
    }

    const QString input = dir.filePath(QStringLiteral("frames.bin"));
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly) || f.write(bench::demoFrameStream(rows)) < 0) {
            return 1;
        }
    }
    const struct {
        const char* name;
        bool http;
        bool clients;
    } throughputs[] = {
        {"without --http", false, false},
        {"--http alone", true, false},
        {"--http with 200 idle and 2 stuck clients", true, true},
    };
    for (const auto& t : throughputs) {
        std::vector<double> rates;
        for (int r = 0; r < runs; ++r) {
            rates.push_back(throughputRun(cli, input, rows, t.http, t.clients));
            std::printf("throughput %s run %d: %.0f rows/s\n", t.name, r + 1, rates.back());
            std::fflush(stdout);
        }
        std::printf("throughput median %s: %.0f rows/s (%d rows from a pipe)\n", t.name,
                    median(rates), rows);
    }
    return 0;
}
