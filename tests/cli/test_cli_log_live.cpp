// velkor-cli log on a live meter, as a user runs it: a serial line that is a
// real pseudo-terminal, the rows printed as they are logged and the same as
// from a file of the same bytes, the line's settings left as they were
// found, the log saved on every signal that ends the run and by checkpoints
// that a SIGKILL cannot damage, a device that goes away and comes back.
#include "cli/LiveLogSupport.h"
#include "platform/linux/PseudoTerminal.h"
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "record/Timestamp.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;

namespace {

QByteArray fixture(const char* name) {
    return readAll(QStringLiteral(VELKOR_FIXTURES "/") + QLatin1String(name));
}

using velkor::test::sendAll; // the frames of the simulated meter

bool sendAll(PseudoTerminal& line, const QByteArray& bytes) {
    return line.send(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                     static_cast<std::size_t>(bytes.size()));
}

termios settingsOf(const QString& path) {
    termios t{};
    const int fd =
        ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
}

// A line another program left as a cooked terminal at 9600 baud.
termios leaveCooked(const QString& path) {
    const int fd =
        ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    EXPECT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
    return settingsOf(path);
}

bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetospeed(&a) == cfgetospeed(&b) &&
           std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}

std::vector<LogRecord> savedRows(const QString& file) {
    LogRowBuffer rows;
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    const LogFileResult r = readLogXml(f, rows);
    EXPECT_TRUE(r) << r.reason.toStdString();
    return rowsOf(rows);
}

class LiveLog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    PseudoTerminal line;
    DemoWalk walk;
};

TEST_F(LiveLog, RowsAreThoseOfTheSameBytesFromAFileAndTheLineIsLeftAsItWas) {
    const termios before = leaveCooked(line.slavePath());
    CliProcess fromFile;
    fromFile.start({QStringLiteral("log"), QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin")});
    ASSERT_TRUE(fromFile.waitEnd());
    ASSERT_EQ(fromFile.p.exitCode(), 0);
    const QStringList want = fromFile.timeless();
    ASSERT_EQ(want.size(), 7);

    CliProcess live;
    live.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(live.waitReady()) << live.err.toStdString();
    EXPECT_FALSE(sameSettings(settingsOf(line.slavePath()), before))
        << "raw at 2400 baud while logging";
    ASSERT_TRUE(sendAll(line, fixture("log-halvin.bin")));
    ASSERT_TRUE(live.waitLines(1 + want.size())) << live.err.toStdString();
    live.signal(SIGTERM);
    ASSERT_TRUE(live.waitEnd());
    EXPECT_EQ(live.p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(live.p.exitCode(), 0);
    EXPECT_EQ(live.timeless(), want);
    EXPECT_EQ(live.lines[0], fromFile.lines[0]);
    // Every Timestamp carries the UTC offset and its time is the row's Time.
    for (qsizetype i = 1; i < live.lines.size(); ++i) {
        const QStringList f = live.lines[i].split(u',');
        const QDateTime t = parseIsoTimestamp(f[7].toLatin1());
        ASSERT_TRUE(t.isValid()) << f[7].toStdString();
        EXPECT_EQ(t.time().toString(QStringLiteral("HH:mm:ss")), f[1]);
    }
    EXPECT_TRUE(live.err.contains("frame 5: ")) << "the damaged frame is told, as from a file";
    EXPECT_TRUE(sameSettings(settingsOf(line.slavePath()), before));
}

struct SignalCase {
    const char* name;
    int sig;
    bool standardInput; // - rather than --device
};

class LiveLogSignal : public LiveLog, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(LiveLogSignal, SavesEveryPrintedRowAndEndsWithZero) {
    const QString out = path("log.xml");
    CliProcess cli;
    if (GetParam().standardInput) {
        cli.start({QStringLiteral("log"), QStringLiteral("--save"), out, QStringLiteral("-")});
    } else {
        cli.start({QStringLiteral("log"), QStringLiteral("--save"), out, QStringLiteral("--device"),
                   line.slavePath()});
    }
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    const int frames = 25;
    std::vector<std::uint8_t> bytes{0x0A};
    const auto more = demoBytes(walk, frames);
    bytes.insert(bytes.end(), more.begin(), more.end());
    if (GetParam().standardInput) {
        cli.p.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    } else {
        ASSERT_TRUE(sendAll(line, bytes));
    }
    ASSERT_TRUE(cli.waitLines(1 + frames)) << cli.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out)) << "no checkpoints were asked for";
    cli.signal(GetParam().sig);
    ASSERT_TRUE(cli.waitEnd());
    EXPECT_EQ(cli.p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    EXPECT_EQ(show(savedRows(out)), show(cli.rows()));
    EXPECT_EQ(cli.rows().size(), static_cast<std::size_t>(frames));
}

INSTANTIATE_TEST_SUITE_P(Signals, LiveLogSignal,
                         ::testing::Values(SignalCase{"SIGTERM", SIGTERM, false},
                                           SignalCase{"SIGINT", SIGINT, false},
                                           SignalCase{"SIGHUP", SIGHUP, false},
                                           SignalCase{"SIGTERM_stdin", SIGTERM, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// SIGKILL ends the run with no chance to save: the last checkpoint stands,
// whole, and holds all the rows printed up to a second or two before.
TEST_F(LiveLog, SigkillLeavesTheLastCheckpointWholeAndRecent) {
    const QString out = path("log.xml");
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath(),
               QStringLiteral("--save"), out, QStringLiteral("--checkpoint"), QStringLiteral("1")});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    const std::uint8_t lf = 0x0A;
    line.send(&lf, 1);
    // A meter sending 50 frames a second.
    QTimer meter;
    QObject::connect(&meter, &QTimer::timeout, [&] { sendAll(line, demoBytes(walk, 1)); });
    meter.start(20);
    // Checkpoints come and grow while the rows come.
    qsizetype seen = 0;
    int grew = 0;
    ASSERT_TRUE(pumpUntil(
        [&] {
            cli.take();
            QFile f(out);
            if (f.open(QIODevice::ReadOnly)) {
                LogRowBuffer rows;
                if (readLogXml(f, rows) && rows.rowCount() > seen) {
                    seen = rows.rowCount();
                    ++grew;
                }
            }
            return grew >= 3;
        },
        60000))
        << cli.err.toStdString();
    cli.signal(SIGKILL);
    ASSERT_TRUE(cli.waitEnd());
    meter.stop();
    EXPECT_EQ(cli.p.exitStatus(), QProcess::CrashExit);

    const std::vector<LogRecord> saved = savedRows(out);
    const std::vector<LogRecord> printed = cli.rows();
    ASSERT_GE(saved.size(), static_cast<std::size_t>(seen));
    ASSERT_LE(saved.size(), printed.size());
    EXPECT_EQ(show(saved),
              show(std::vector<LogRecord>(
                  printed.begin(), printed.begin() + static_cast<std::ptrdiff_t>(saved.size()))))
        << "the first rows, exactly";
    // What the file misses was logged in the last checkpoint interval or two.
    const QDateTime lastPrinted = parseIsoTimestamp(cli.lines.last().split(u',')[7].toLatin1());
    const QDateTime lastSaved = parseIsoTimestamp(
        cli.lines[static_cast<qsizetype>(saved.size())].split(u',')[7].toLatin1());
    ASSERT_TRUE(lastPrinted.isValid() && lastSaved.isValid());
    EXPECT_LE(lastSaved.msecsTo(lastPrinted), 2500)
        << "saved up to " << saved.size() << " of " << printed.size() << " rows";
}

// An adapter that goes away and comes back: a link to the device, pointed
// at a new pseudo-terminal, as /dev/serial/by-id/... is when a USB adapter
// is plugged in again.
TEST_F(LiveLog, ReconnectWaitsForTheDeviceAndLogsOnIntoTheSameLog) {
    const QString link = path("meter");
    ASSERT_TRUE(QFile::link(line.slavePath(), link));
    const QString out = path("log.xml");
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--device"), link,
               QStringLiteral("--reconnect"), QStringLiteral("--save"), out});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    std::vector<std::uint8_t> first{0x0A};
    const auto some = demoBytes(walk, 5);
    first.insert(first.end(), some.begin(), some.end());
    ASSERT_TRUE(sendAll(line, first));
    ASSERT_TRUE(cli.waitLines(1 + 5));

    line.close(); // unplugged
    ASSERT_TRUE(cli.waitErr("was lost")) << cli.err.toStdString();
    EXPECT_EQ(cli.p.state(), QProcess::Running);

    PseudoTerminal again;
    ASSERT_TRUE(again.open());
    ASSERT_TRUE(repointLink(link, again.slavePath()));
    ASSERT_TRUE(cli.waitErr("is back after")) << cli.err.toStdString();
    // The meter goes on where it was: the stream after the last frame's end.
    ASSERT_TRUE(sendAll(again, demoBytes(walk, 5)));
    ASSERT_TRUE(cli.waitLines(1 + 10)) << cli.err.toStdString();

    cli.signal(SIGTERM);
    ASSERT_TRUE(cli.waitEnd());
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    const std::vector<LogRecord> printed = cli.rows();
    ASSERT_EQ(printed.size(), 10u);
    for (std::size_t i = 0; i < printed.size(); ++i) {
        EXPECT_EQ(printed[i].No, static_cast<qint32>(i + 1)) << "one log, numbered on";
    }
    EXPECT_EQ(show(savedRows(out)), show(printed));
    EXPECT_TRUE(cli.err.contains(link.toUtf8())) << cli.err.toStdString();
}

TEST_F(LiveLog, WithoutReconnectALostDeviceEndsTheRunWithTheLogSaved) {
    const QString out = path("log.xml");
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath(),
               QStringLiteral("--save"), out});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    std::vector<std::uint8_t> bytes{0x0A};
    const auto some = demoBytes(walk, 4);
    bytes.insert(bytes.end(), some.begin(), some.end());
    ASSERT_TRUE(sendAll(line, bytes));
    ASSERT_TRUE(cli.waitLines(1 + 4));
    line.close();
    ASSERT_TRUE(cli.waitEnd());
    EXPECT_EQ(cli.p.exitCode(), 1);
    EXPECT_TRUE(cli.err.contains("was lost")) << cli.err.toStdString();
    EXPECT_EQ(show(savedRows(out)), show(cli.rows()));
    EXPECT_EQ(cli.rows().size(), 4u);
}

TEST_F(LiveLog, StandardOutputThatGoesAwayEndsTheRunWithTheLogSaved) {
    // Standard output is a pipe the test reads the header from and closes,
    // as "| head -1" does.
    const QString fifo = path("out");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const int reader = ::open(fifo.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const QString out = path("log.xml");
    CliProcess cli;
    cli.p.setStandardOutputFile(fifo);
    cli.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath(),
               QStringLiteral("--save"), out});
    QByteArray header;
    ASSERT_TRUE(pumpUntil(
        [&] {
            char buf[256];
            const ssize_t n = ::read(reader, buf, sizeof buf);
            if (n > 0) {
                header.append(buf, n);
            }
            return header.endsWith('\n');
        },
        20000));
    EXPECT_TRUE(header.startsWith("No,Time,"));
    ::close(reader);
    std::vector<std::uint8_t> bytes{0x0A};
    const auto some = demoBytes(walk, 3);
    bytes.insert(bytes.end(), some.begin(), some.end());
    ASSERT_TRUE(sendAll(line, bytes));
    ASSERT_TRUE(cli.waitEnd());
    EXPECT_EQ(cli.p.exitStatus(), QProcess::NormalExit) << "not killed by SIGPIPE";
    EXPECT_EQ(cli.p.exitCode(), 3);
    EXPECT_TRUE(cli.err.contains("cannot write to standard output")) << cli.err.toStdString();
    EXPECT_GE(savedRows(out).size(), 1u) << "the row it could not print is in the log";
}

TEST_F(LiveLog, CsvSavedOnSigtermHasDatesReadableUnitsAndBaseUnitValues) {
    const QString out = path("log.csv");
    CliProcess cli;
    cli.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath(),
               QStringLiteral("--save"), out});
    ASSERT_TRUE(cli.waitReady());
    ASSERT_TRUE(sendAll(line, fixture("log-halvin.bin")));
    ASSERT_TRUE(cli.waitLines(1 + 7));
    cli.signal(SIGTERM);
    ASSERT_TRUE(cli.waitEnd());
    ASSERT_EQ(cli.p.exitCode(), 0);
    const QStringList csv = QString::fromUtf8(readAll(out)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(csv.size(), 1 + 7 + 1) << "header, rows, and the empty text after the last CRLF";
    EXPECT_EQ(csv[0], QStringLiteral("No,Date,Time,Function,Value,Unit,Judge,SI"));
    for (int i = 1; i <= 7; ++i) {
        const QStringList f = csv[i].split(u',');
        const QStringList printed = cli.lines[i].split(u',');
        ASSERT_EQ(f.size(), 8) << csv[i].toStdString();
        EXPECT_EQ(f[0], printed[0]);
        EXPECT_EQ(f[1], printed[7].left(10)) << "the date of the Timestamp";
        EXPECT_EQ(f[2], printed[1]);
    }
    EXPECT_EQ(csv[1].section(u',', 3), QStringLiteral("DC,012.3,V,pass,12.3"));
    EXPECT_EQ(csv[5].section(u',', 3), QStringLiteral("DC,0L,V,Fail,"));
    EXPECT_EQ(csv[7].section(u',', 3), QStringLiteral("TMP,0023,°C,pass,23"));
}

} // namespace
