// velkor-cli log's alarms as a user meets them: a command that records the
// environment it was given, one that runs on while logging goes on (and
// the transition that comes meanwhile is skipped), one that fails, one that
// does not exist, --alarm-after and --stop-on-fail with the log saved.
#include "cli/LiveLogSupport.h"
#include "logfiles/LogXmlFile.h"
#include "platform/linux/PseudoTerminal.h"
#include "record/LogTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kWaitMs = 30000;

class Alarms : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString input(const char* verdicts) {
        const QString file = path("frames.bin");
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        const auto bytes = verdictFrames(verdicts);
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return file;
    }
    // log on a file of frames, to its end.
    void runOnFile(CliProcess& cli, const char* verdicts, const QStringList& options) {
        cli.environment.push_back({QStringLiteral("OUTDIR"), dir.path()});
        cli.start(QStringList{QStringLiteral("log")} + kVerdictLimits + options +
                  QStringList{input(verdicts)});
        ASSERT_TRUE(cli.waitEnd(kWaitMs)) << cli.err.toStdString();
    }

    QTemporaryDir dir;
};

TEST_F(Alarms, TheCommandFindsTheReadingInItsEnvironment) {
    CliProcess cli;
    cli.environment = {{QStringLiteral("VELKOR_MQTT_PASSWORD"), QStringLiteral("secret")},
                       {QStringLiteral("VELKOR_INFLUX_TOKEN"), QStringLiteral("token")}};
    runOnFile(cli, "PPFFP",
              {QStringLiteral("--on-fail"),
               QStringLiteral("env | grep '^VELKOR_' | sort > \"$OUTDIR/fail.env\"")});
    ASSERT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
    ASSERT_EQ(cli.lines.size(), 1 + 5);
    // The run waits at its end for the command it started: the file is there.
    QFile env(path("fail.env"));
    ASSERT_TRUE(env.open(QIODevice::ReadOnly)) << cli.err.toStdString();
    const QStringList row = cli.lines[3].split(u','); // No 3, the first Fail
    ASSERT_EQ(row[5], QStringLiteral("Fail"));
    const QString want = QStringLiteral("VELKOR_FUNCTION=DC\nVELKOR_JUDGE=Fail\nVELKOR_NO=3\n"
                                        "VELKOR_SI=12\nVELKOR_TIMESTAMP=%1\nVELKOR_UNIT=V\n"
                                        "VELKOR_VALUE=%2\n")
                             .arg(row[7], row[3]);
    EXPECT_EQ(QString::fromUtf8(env.readAll()), want);
    // Nothing was skipped or went wrong (the run's end may say it waits).
    EXPECT_FALSE(cli.err.contains("--on-fail for No.")) << cli.err.toStdString();
}

TEST_F(Alarms, AFailingOrMissingCommandIsToldAndTheRunGoesOn) {
    const struct {
        const char* command;
        const char* told;
    } cases[] = {
        {"exit 3", "--on-fail for No. 2: the command exited with status 3"},
        {"velkor-no-such-alarm-command",
         "--on-fail for No. 2: the command exited with status 127 (not found)"},
        {"kill -KILL $$", "--on-fail for No. 2: the command was ended by signal 9"},
    };
    for (const auto& c : cases) {
        CliProcess cli;
        runOnFile(cli, "PFFPP", {QStringLiteral("--on-fail"), QString::fromLatin1(c.command)});
        EXPECT_EQ(cli.p.exitCode(), 0) << c.command;
        EXPECT_EQ(cli.lines.size(), 1 + 5) << c.command;
        EXPECT_TRUE(cli.err.contains(c.told)) << cli.err.toStdString();
        EXPECT_TRUE(cli.err.contains("5 rows logged")) << cli.err.toStdString();
    }
}

// A command that runs long holds nothing up: rows go on being printed, a
// transition that comes meanwhile is told and skipped, and the next one
// after the command has ended runs again.
TEST_F(Alarms, LoggingNeverWaitsForACommandAndOneRunsAtATime) {
    PseudoTerminal line;
    ASSERT_TRUE(line.open()) << line.errorText().toStdString();
    CliProcess cli;
    cli.environment = {{QStringLiteral("OUTDIR"), dir.path()}};
    cli.start(QStringList{QStringLiteral("log")} + kVerdictLimits +
              QStringList{QStringLiteral("--on-fail"),
                          // Until "done", or the test's folder is gone.
                          QStringLiteral("touch \"$OUTDIR/started-$VELKOR_NO\"; "
                                         "while [ ! -e \"$OUTDIR/done\" ] && [ -d \"$OUTDIR\" ]; "
                                         "do sleep 0.05; done"),
                          QStringLiteral("--on-pass"),
                          QStringLiteral("touch \"$OUTDIR/passed-$VELKOR_NO\""),
                          QStringLiteral("--device"), line.slavePath()});
    ASSERT_TRUE(cli.waitReady()) << cli.err.toStdString();
    ASSERT_TRUE(sendAll(line, verdictFrames("PF")));
    ASSERT_TRUE(pumpUntil([&] { return QFileInfo::exists(path("started-2")); }, kWaitMs));
    // The command waits for "done"; logging goes on meanwhile.
    const auto more = verdictFrames("PPPF");
    ASSERT_TRUE(line.send(more.data() + 1, more.size() - 1));
    ASSERT_TRUE(cli.waitLines(1 + 6, kWaitMs)) << cli.err.toStdString();
    ASSERT_TRUE(cli.waitErr("--on-pass for No. 3 skipped: the --on-fail command for No. 2 is "
                            "still running",
                            kWaitMs));
    ASSERT_TRUE(cli.waitErr("--on-fail for No. 6 skipped", kWaitMs));
    EXPECT_FALSE(QFileInfo::exists(path("passed-3")));
    // Once it has ended, transitions run their commands again. When the
    // logger sees the end is its own affair: Fail and Pass are sent in
    // turn, each pair once the one before is logged, until a transition
    // after it has run a command.
    QFile(path("done")).open(QIODevice::WriteOnly);
    const auto turns = verdictFrames("FP");
    qsizetype sentRows = 6;
    const bool again = pumpUntil(
        [&] {
            cli.take();
            if (cli.lines.size() >= 1 + sentRows) {
                line.send(turns.data() + 1, turns.size() - 1);
                sentRows += 2;
            }
            const QStringList ran =
                QDir(dir.path())
                    .entryList({QStringLiteral("started-*"), QStringLiteral("passed-*")},
                               QDir::Files);
            return ran.size() > 1;
        },
        kWaitMs);
    EXPECT_TRUE(again) << cli.err.toStdString();
    cli.signal(SIGTERM);
    ASSERT_TRUE(cli.waitEnd(kWaitMs));
    EXPECT_EQ(cli.p.exitCode(), 0) << cli.err.toStdString();
}

TEST_F(Alarms, StopOnFailEndsTheRunWithTheLogSavedAfterTheFailingRow) {
    const QString out = path("log.xml");
    CliProcess cli;
    // Hovering at the limit: single Fails do not count with --alarm-after 2.
    runOnFile(cli, "PPFPFPFFPPP",
              {QStringLiteral("--alarm-after"), QStringLiteral("2"),
               QStringLiteral("--stop-on-fail"), QStringLiteral("--save"), out});
    EXPECT_EQ(cli.p.exitCode(), 4) << cli.err.toStdString();
    ASSERT_EQ(cli.lines.size(), 1 + 8) << "the run ends with the row that made the alarm";
    EXPECT_TRUE(cli.err.contains("the judge turned Fail at No. 8: --stop-on-fail ends the run"))
        << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains("8 rows logged")) << cli.err.toStdString();
    LogRowBuffer saved;
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_TRUE(readLogXml(f, saved));
    EXPECT_EQ(show(rowsOf(saved)), show(cli.rows()));
    ASSERT_EQ(saved.rowCount(), 8);
    EXPECT_EQ(saved.text(7, 5), QStringLiteral("Fail"));

    // Without failing readings the run goes to the input's end.
    CliProcess calm;
    runOnFile(calm, "PPPP", {QStringLiteral("--stop-on-fail"), QStringLiteral("--quiet")});
    EXPECT_EQ(calm.p.exitCode(), 0);
    EXPECT_EQ(calm.lines.size(), 1 + 4);
    EXPECT_FALSE(calm.err.contains("rows logged")) << "--quiet";
}

} // namespace
