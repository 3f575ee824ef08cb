// velkor-cli with the SQLite log, as a user runs it and checked with
// SQLite's own shell: log --save appends a run, row by row, that readers
// see while the logger runs; a second logger is refused; SIGKILL leaves a
// sound file with the rows printed; convert both ways, one run or all,
// and report.
#include "cli/LiveLogSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/sqlite/LogSqliteFile.h"
#include "platform/linux/PseudoTerminal.h"
#include "record/LogTestSupport.h"
#include "support/SqliteShell.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

const QString kStream = QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin");

struct CliRun {
    int exitCode = -1;
    QStringList lines;
    QString err;
};

CliRun cli(const QStringList& args) {
    CliProcess p;
    p.start(args);
    CliRun r;
    if (!p.waitEnd(120000)) {
        return r;
    }
    r.exitCode = p.p.exitCode();
    r.lines = p.lines;
    r.err = QString::fromUtf8(p.err);
    return r;
}

// The log's fields of the file's rows as the shell shows them, one line each.
QStringList fileRows(const QString& file, const QString& where = QString()) {
    const QString out = sqliteShell(
        file, QStringLiteral("SELECT no, time, function, value, unit_code, judge FROM readings ") +
                  where + QStringLiteral(" ORDER BY id"),
        {QStringLiteral("-separator"), QStringLiteral(",")});
    return out.isEmpty() ? QStringList() : out.split(u'\n');
}

// The same fields of printed lines (No to Auto).
QStringList printedRows(const QStringList& lines) {
    QStringList out;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        out.append(lines[i].section(u',', 0, 5));
    }
    return out;
}

TEST(CliSqlite, LogAppendsARunOfThePrintedRowsAtEachStart) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.sqlite"));
    const CliRun first = cli({QStringLiteral("log"), QStringLiteral("--save"), file, kStream});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    ASSERT_EQ(printedRows(first.lines).size(), 7);
    EXPECT_EQ(fileRows(file), printedRows(first.lines));

    const CliRun second = cli({QStringLiteral("log"), QStringLiteral("--no-repeat"),
                            QStringLiteral("--max-records"), QStringLiteral("3"),
                            QStringLiteral("--checkpoint"), QStringLiteral("5"),
                            QStringLiteral("--save"), file, kStream});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(QStringLiteral("--checkpoint has no effect on an SQLite log")))
        << second.err.toStdString();
    ASSERT_EQ(printedRows(second.lines).size(), 3);
    EXPECT_TRUE(printedRows(second.lines)[0].startsWith(u'1')) << "each run numbers from 1";

    EXPECT_EQ(fileRows(file, QStringLiteral("WHERE run = 1")), printedRows(first.lines));
    EXPECT_EQ(fileRows(file, QStringLiteral("WHERE run = 2")), printedRows(second.lines));
    EXPECT_EQ(sqliteShell(file, QStringLiteral(
                                    "SELECT run, program LIKE 'velkor-cli %', variant, device, "
                                    "ended_ms >= started_ms, limit_hi, limit_lo, repeats, "
                                    "quote(max_records) FROM runs; PRAGMA integrity_check")),
              QStringLiteral("1|1|IFHALVIN|%1|1|6000|-6000|1|NULL\n"
                             "2|1|IFHALVIN|%1|1|6000|-6000|0|3\nok")
                  .arg(kStream));
    // Each row carries its moment and frame; the frame decodes to the row.
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*) FROM readings WHERE utc_ms IS "
                                               "NULL OR frame IS NULL OR marks IS NULL")),
              QStringLiteral("0"));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT hex(frame), marks FROM readings WHERE id = 1")),
              QStringLiteral("2B30313233203430000080000D|LcdDc1 LcdV LcdAuto LcdP3"));
}

TEST(CliSqlite, ConvertBothWaysOneRunOrAllAndReport) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("log.db"));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(cli({QStringLiteral("log"), QStringLiteral("--save"), file, kStream}).exitCode, 0);
    }
    const QString xml = dir.filePath(QStringLiteral("all.xml"));
    ASSERT_EQ(cli({QStringLiteral("convert"), file, xml}).exitCode, 0);
    LogRowBuffer all;
    ASSERT_TRUE(loadLogXml(xml, all));
    EXPECT_EQ(all.rowCount(), 14);

    // One run into CSV, with the days the rows were logged.
    const QString csv = dir.filePath(QStringLiteral("two.csv"));
    ASSERT_EQ(cli({QStringLiteral("convert"), QStringLiteral("--run"), QStringLiteral("2"), file,
                   csv})
                  .exitCode,
              0);
    const QList<QByteArray> lines = readAll(csv).split('\n');
    ASSERT_EQ(lines.size(), 1 + 7 + 1);
    const QString day = sqliteShell(
        file, QStringLiteral("SELECT date((utc_ms / 1000) + utc_offset, 'unixepoch') FROM "
                             "readings WHERE run = 2 LIMIT 1"));
    EXPECT_TRUE(lines[1].startsWith("1," + day.toUtf8() + ",")) << lines[1].toStdString();

    // Back: an XML log and a workbook into a new SQLite log, row for row.
    const QString back = dir.filePath(QStringLiteral("back.sqlite"));
    ASSERT_EQ(cli({QStringLiteral("convert"), xml, back}).exitCode, 0);
    ASSERT_EQ(cli({QStringLiteral("convert"), QStringLiteral(VELKOR_FIXTURES "/log-biff8.xls"),
                   back})
                  .exitCode,
              0);
    EXPECT_EQ(sqliteShell(back, QStringLiteral("SELECT run, device, count(*), count(utc_ms) "
                                               "FROM runs JOIN readings USING (run) GROUP BY run")),
              QStringLiteral("1|%1|14|0\n2|%2|3|0").arg(xml, QStringLiteral(VELKOR_FIXTURES "/log-biff8.xls")));
    const QString again = dir.filePath(QStringLiteral("again.xml"));
    ASSERT_EQ(cli({QStringLiteral("convert"), QStringLiteral("--run"), QStringLiteral("1"), back,
                   again})
                  .exitCode,
              0);
    EXPECT_EQ(readAll(again), readAll(xml)) << "XML to SQLite and back, byte for byte";

    const CliRun noRun = cli({QStringLiteral("convert"), QStringLiteral("--run"), QStringLiteral("9"),
                           file, dir.filePath(QStringLiteral("x.xml"))});
    EXPECT_EQ(noRun.exitCode, 1);
    EXPECT_TRUE(noRun.err.contains(QStringLiteral("run 9 はありません (run は 1 から 2 まで)")))
        << noRun.err.toStdString();
    EXPECT_EQ(cli({QStringLiteral("convert"), QStringLiteral("--run"), QStringLiteral("x"), file,
                   dir.filePath(QStringLiteral("x.xml"))})
                  .exitCode,
              2);
    EXPECT_EQ(cli({QStringLiteral("convert"), QStringLiteral("--run"), QStringLiteral("1"), xml,
                   dir.filePath(QStringLiteral("x.xml"))})
                  .exitCode,
              1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("x.xml"))));

#ifdef VELKOR_CLI_REPORT
    const QString pdf = dir.filePath(QStringLiteral("run1.pdf"));
    ASSERT_EQ(cli({QStringLiteral("report"), QStringLiteral("--run"), QStringLiteral("1"), file,
                   pdf})
                  .exitCode,
              0);
    EXPECT_TRUE(readAll(pdf).startsWith("%PDF"));
#endif
}

// A meter on a pseudo-terminal logging into an SQLite file.
class LiveSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(line.open()) << line.errorText().toStdString();
        file = dir.filePath(QStringLiteral("run.sqlite"));
    }
    // A meter sending 50 frames a second until stopped.
    void startMeter() {
        const std::uint8_t lf = 0x0A;
        line.send(&lf, 1);
        QObject::connect(&meter, &QTimer::timeout, [this] { sendAll(line, demoBytes(walk, 1)); });
        meter.start(20);
    }
    qsizetype rowsInFile() {
        return sqliteShell(file, QStringLiteral("SELECT count(*) FROM readings")).toLongLong();
    }

    QTemporaryDir dir;
    PseudoTerminal line;
    DemoWalk walk;
    QTimer meter;
    QString file;
};

// Readers query the file while the logger writes it; a second logger is
// refused; SIGKILL leaves a sound file holding the rows printed, and the
// next logger adds its run after them.
TEST_F(LiveSqlite, ReadersSeeTheRowsASecondLoggerIsRefusedAndSigkillLosesNothingCommitted) {
    CliProcess logger;
    logger.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath(),
                  QStringLiteral("--save"), file});
    ASSERT_TRUE(logger.waitReady()) << logger.err.toStdString();
    startMeter();
    // The file grows while the logger runs, commit after commit.
    qsizetype seen = 0;
    int grew = 0;
    ASSERT_TRUE(pumpUntil(
        [&] {
            logger.take();
            const qsizetype n = rowsInFile();
            if (n > seen) {
                seen = n;
                ++grew;
            }
            return grew >= 3 && seen >= 20;
        },
        60000))
        << logger.err.toStdString();
    EXPECT_EQ(logger.p.state(), QProcess::Running);

    const CliRun second =
        cli({QStringLiteral("log"), QStringLiteral("--save"), file, kStream});
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_TRUE(second.err.contains(QStringLiteral("another logger is writing it")))
        << second.err.toStdString();
    EXPECT_TRUE(printedRows(second.lines).isEmpty()) << "refused before any row";

    logger.signal(SIGKILL);
    ASSERT_TRUE(logger.waitEnd());
    meter.stop();
    EXPECT_EQ(logger.p.exitStatus(), QProcess::CrashExit);

    EXPECT_EQ(sqliteShell(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    const QStringList inFile = fileRows(file);
    const QStringList printed = printedRows(logger.lines);
    ASSERT_GE(inFile.size(), seen);
    ASSERT_LE(inFile.size(), printed.size());
    EXPECT_EQ(inFile, printed.mid(0, inFile.size())) << "the rows printed, in order";
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*) FROM runs WHERE ended_ms IS NULL")),
              QStringLiteral("1"))
        << "a killed run has no end";

    // The next start recovers the file and adds its run.
    const CliRun next = cli({QStringLiteral("log"), QStringLiteral("--save"), file, kStream});
    ASSERT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_EQ(fileRows(file, QStringLiteral("WHERE run = 2")), printedRows(next.lines));
    EXPECT_EQ(fileRows(file, QStringLiteral("WHERE run = 1")), inFile);
    EXPECT_EQ(sqliteShell(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

TEST_F(LiveSqlite, SigtermWritesEveryRowAndEndsTheRun) {
    CliProcess logger;
    logger.start({QStringLiteral("log"), QStringLiteral("--device"), line.slavePath(),
                  QStringLiteral("--save"), file});
    ASSERT_TRUE(logger.waitReady()) << logger.err.toStdString();
    startMeter();
    ASSERT_TRUE(logger.waitLines(1 + 30)) << logger.err.toStdString();
    logger.signal(SIGTERM);
    ASSERT_TRUE(logger.waitEnd());
    meter.stop();
    EXPECT_EQ(logger.p.exitCode(), 0) << logger.err.constData();
    EXPECT_EQ(fileRows(file), printedRows(logger.lines));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(ended_ms) FROM runs")),
              QStringLiteral("1"));
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral("-wal"))) << "a clean end";
}

} // namespace
