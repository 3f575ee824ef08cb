// The simulated meter on a pseudo-terminal, read through the port driver
// into the assembler and the decoder, as the window and velkor-cli read it.
#include "link/serial/SerialTestSupport.h"
#include "support/EventPump.h"

#include "cli/ReadingCsv.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "sim/DemoScenario.h"
#include "sim/MeterSimulator.h"
#include "support/FixedLocaleSource.h"
#include "support/RealSerialPort.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>

using namespace velkor;
using namespace velkor::test;

namespace {

// The road from received bytes to CSV lines of readings.
struct CsvPipeline {
    FixedLocaleSource locale{QStringLiteral(".")};
    PassHost host;
    MeterPipeline pipeline{MeterVariant::IFHALVIN, locale, host};
    QStringList lines;
    CsvPipeline() {
        pipeline.setOnDecoded([this] { lines.append(readingCsvLine(pipeline.decoder())); });
    }
    void receive(const std::uint8_t* p, std::ptrdiff_t n) { pipeline.receive(p, n); }
};

// The CSV lines of the first n frames of the demo walk, decoded from bytes.
QStringList expectedLines(long n) {
    CsvPipeline csv;
    DemoWalk walk;
    const std::uint8_t lf = 0x0A;
    csv.receive(&lf, 1);
    for (long i = 0; i < n; ++i) {
        const auto b = walk.next().frame.bytes();
        csv.receive(b.data(), static_cast<std::ptrdiff_t>(b.size()));
    }
    return csv.lines;
}

// waitForFinished() is false for a process that has already finished.
bool ended(QProcess& p, int timeoutMs) {
    return p.state() == QProcess::NotRunning || p.waitForFinished(timeoutMs);
}

class MeterSim : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(3000);
        }
    }

    // Starts velkor-metersim and returns the device path it prints first.
    QString start(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        sim.setProcessEnvironment(env);
        sim.start(QStringLiteral(VELKOR_METERSIM), args);
        EXPECT_TRUE(sim.waitForStarted(5000));
        EXPECT_TRUE(pumpUntil(
            [&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; }, 5000));
        return QString::fromLocal8Bit(sim.readLine()).trimmed();
    }

    QTemporaryDir dir;
    QProcess sim;
};

TEST_F(MeterSim, FramesReachTheDecoderThroughThePortAndTheLineEndsOnce) {
    const QString link = dir.filePath(QStringLiteral("meter"));
    const long count = 120;
    const QString path =
        start({QStringLiteral("--rate"), QStringLiteral("200"), QStringLiteral("--count"),
               QString::number(count), QStringLiteral("--link"), link});
    ASSERT_TRUE(path.startsWith(QStringLiteral("/dev/pts/"))) << path.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), path);

    // The driver opens COM1, which the variable points at the link.
    qputenv("VELKOR_COM1", link.toLocal8Bit());
    CsvPipeline csv;
    const QStringList& lines = csv.lines;
    test::RealSerialPort real;
    TCommPortDriver& port = real.port;
    port.setComPort(pnCOM1);
    port.setComPortSpeed(br2400);
    port.setComPortPollingDelay(20);
    port.setOnReceiveData(
        [&](TCommPortDriver*, const std::uint8_t* p, std::int32_t n) { csv.receive(p, n); });
    int lost = 0;
    port.setOnLinkLost([&](TCommPortDriver*, const SerialPortError& e) {
        ++lost;
        EXPECT_EQ(e.devicePath, link);
    });
    ASSERT_TRUE(port.Connect()) << port.lastError().reason.toStdString();
    qunsetenv("VELKOR_COM1");

    EXPECT_TRUE(pumpUntil([&] { return lost > 0; }, 20000))
        << "the simulator closes the line at its end";
    pumpFor(100);
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(ended(sim, 5000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the simulator";

    // Frames arrive whole and in the walk's order. Which ones
    // arrive depends on the scheduler: frames sent before the port opened,
    // and those the simulator drops when a starved reader lets the line
    // fill, are missing, so the lines must be an ordered subset of the walk.
    const QStringList expected = expectedLines(count);
    ASSERT_FALSE(lines.isEmpty());
    qsizetype at = 0;
    for (const QString& line : lines) {
        while (at < expected.size() && expected[at] != line) {
            ++at;
        }
        ASSERT_LT(at, expected.size())
            << "not a frame of the walk, or out of order: " << line.toStdString();
        ++at;
    }
}

TEST_F(MeterSim, EndsCleanlyOnSigterm) {
    const QString link = dir.filePath(QStringLiteral("meter"));
    ASSERT_FALSE(start({QStringLiteral("--link"), link}).isEmpty());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    sim.terminate();
    ASSERT_TRUE(ended(sim, 5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).exists());
}

// A program that starts the simulator may signal it the moment it has read
// the device's path: the simulator must end cleanly every time, its link
// removed, however the start and the signal fall on a busy machine.
TEST_F(MeterSim, StartAndSignalAtOnceEndCleanlyEveryTime) {
    constexpr int kRuns = 100;
    int clean = 0;
    for (int i = 0; i < kRuns; ++i) {
        const QString link = dir.filePath(QStringLiteral("meter%1").arg(i));
        QProcess p;
        p.start(QStringLiteral(VELKOR_METERSIM), {QStringLiteral("--link"), link});
        ASSERT_TRUE(p.waitForStarted(5000));
        ASSERT_TRUE(
            pumpUntil([&] { return p.canReadLine() || p.state() == QProcess::NotRunning; }, 10000));
        ASSERT_TRUE(p.readLine().startsWith("/dev/pts/")) << "run " << i;
        // At once, by the signal a service manager or a shell sends.
        const int sig = i % 3 == 0 ? SIGTERM : i % 3 == 1 ? SIGINT : SIGHUP;
        ::kill(static_cast<pid_t>(p.processId()), sig);
        ASSERT_TRUE(ended(p, 10000)) << "run " << i;
        const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
                        !QFileInfo(link).isSymLink();
        EXPECT_TRUE(ok) << "run " << i << " signal " << sig << ": "
                        << (p.exitStatus() == QProcess::NormalExit ? "exit code " : "killed, ")
                        << p.exitCode() << (QFileInfo(link).isSymLink() ? ", link left" : "");
        clean += ok ? 1 : 0;
    }
    EXPECT_EQ(clean, kRuns);
}

TEST_F(MeterSim, WritesToASerialDeviceGiven) {
    PseudoTerminal line;
    ASSERT_TRUE(line.open());
    const QString path =
        start({QStringLiteral("--device"), line.slavePath(), QStringLiteral("--rate"),
               QStringLiteral("100"), QStringLiteral("--count"), QStringLiteral("5")});
    EXPECT_EQ(path, line.slavePath());
    ASSERT_TRUE(ended(sim, 10000));
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    Bytes want{0x0A};
    DemoWalk walk;
    for (int i = 0; i < 5; ++i) {
        const auto b = walk.next().frame.bytes();
        want.insert(want.end(), b.begin(), b.end());
    }
    Bytes got;
    pumpUntil([&] {
        std::uint8_t buf[256];
        const ssize_t n = ::read(line.masterFd(), buf, sizeof buf);
        if (n > 0) {
            got.insert(got.end(), buf, buf + n);
        }
        return got.size() >= want.size();
    });
    EXPECT_EQ(got, want);
}

TEST_F(MeterSim, RefusesBadOptions) {
    for (const QStringList& args :
         {QStringList{QStringLiteral("--rate"), QStringLiteral("0")},
          QStringList{QStringLiteral("--rate"), QStringLiteral("x")},
          QStringList{QStringLiteral("--count"), QStringLiteral("-1")},
          QStringList{QStringLiteral("--variant"), QStringLiteral("IFNONE")},
          QStringList{QStringLiteral("--link"), QStringLiteral("a"), QStringLiteral("--device"),
                      QStringLiteral("b")}}) {
        QProcess p;
        p.start(QStringLiteral(VELKOR_METERSIM), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
    }
}

TEST(MeterSimulatorFrames, TheNibbleVariantSendsNibbleFrames) {
    const MeterFrame f = meterFrame("1.234", {0x30, 0, 0, 0x80});
    EXPECT_EQ(MeterSimulator::frameBytes(MeterVariant::IFHALVIN, f), f.bytes());
    const auto nib = MeterSimulator::frameBytes(MeterVariant::IFCASTEM, f);
    const auto bytes = f.bytes();
    for (std::size_t i = 0; i < nib.size(); ++i) {
        EXPECT_EQ(nib[i] >> 4, static_cast<int>(i + 1));
        EXPECT_EQ(nib[i] & 0x0F, bytes[i] & 0x0F);
    }
}

// velkor-cli read on the simulated meter.
class CliRead : public MeterSim {
protected:
    QProcess cli;
    int runCli(const QStringList& args, const QProcessEnvironment& env) {
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(VELKOR_CLI), args);
        EXPECT_TRUE(cli.waitForFinished(20000));
        return cli.exitCode();
    }
};

TEST_F(CliRead, PrintsTheCsvOfNFramesFromAComPortName) {
    const QString path = start({QStringLiteral("--rate"), QStringLiteral("100")});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("VELKOR_COM3"), path);
    EXPECT_EQ(runCli({QStringLiteral("read"), QStringLiteral("--device"), QStringLiteral("COM3"),
                      QStringLiteral("--count"), QStringLiteral("5")},
                     env),
              0)
        << cli.readAllStandardError().toStdString();
    const QStringList out =
        QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 6);
    EXPECT_EQ(out[0], readingCsvHeader());
    const QStringList known = expectedLines(DemoWalk().framesPerWalk());
    for (int i = 1; i < out.size(); ++i) {
        EXPECT_TRUE(known.contains(out[i])) << out[i].toStdString();
    }
}

TEST_F(CliRead, SaysWhyADeviceCannotBeOpened) {
    EXPECT_EQ(runCli({QStringLiteral("read"), QStringLiteral("--device"),
                      QStringLiteral("/dev/velkor-missing")},
                     QProcessEnvironment::systemEnvironment()),
              1);
    const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("cannot open /dev/velkor-missing: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(ENOENT)))))
        << err.toStdString();
    EXPECT_EQ(runCli({QStringLiteral("read")}, QProcessEnvironment::systemEnvironment()), 2);
}

} // namespace
