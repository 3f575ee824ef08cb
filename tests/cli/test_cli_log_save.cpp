// velkor-cli log --save: the log made from the recorded stream is saved when
// the input ends, as an XML data packet or a workbook by the name, holding
// exactly the rows the command printed; a file that cannot be written is an
// output error that keeps the printed rows.

#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/workbook/LogWorkbook.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

struct CliRun {
    int exitCode = -1;
    std::vector<LogRecord> printed; // the CSV rows (No to Auto)
    QString err;
};

CliRun runLogSave(const QString& out) {
    QProcess p;
    // Cells are read back in the C locale, as the command writes them here.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELKOR_CLI), {QStringLiteral("log"), QStringLiteral("--save"), out,
                                         QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin")});
    CliRun r;
    if (!p.waitForFinished(60000)) {
        return r;
    }
    r.exitCode = p.exitCode();
    r.err = QString::fromUtf8(p.readAllStandardError());
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // line 0: the header
        const QStringList f = lines[i].split(u',');
        if (f.size() < 6) {
            continue;
        }
        r.printed.push_back(rec(f[0].isEmpty() ? std::nullopt : std::optional(f[0].toInt()), f[1],
                                f[2], f[3], f[4], f[5]));
    }
    return r;
}

class CliLogSave : public ::testing::TestWithParam<SaveNameCase> {};

TEST_P(CliLogSave, SavesThePrintedRows) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QString::fromLatin1(GetParam().name));
    const CliRun run = runLogSave(file);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(run.printed.size(), 7u); // as log-halvin.csv

    const QByteArray bytes = readAll(file);
    EXPECT_EQ(bytes.startsWith("<?xml"), GetParam().xml);
    EXPECT_EQ(bytes.startsWith("PK"), !GetParam().xml);
    LogRowBuffer saved;
    if (GetParam().xml) {
        ASSERT_TRUE(loadLogXml(file, saved));
        EXPECT_EQ(show(rowsOf(saved)), show(run.printed));
        return;
    }
    bool six = false;
    ASSERT_TRUE(readLogWorkbook(file, QLocale::c(), &saved, &six));
    ASSERT_TRUE(six);
    ASSERT_EQ(saved.rowCount(), static_cast<qsizetype>(run.printed.size()));
    // The workbook holds the values as numbers and the times as times.
    for (qsizetype i = 0; i < saved.rowCount(); ++i) {
        const LogRecord got = saved.row(i);
        const LogRecord& want = run.printed[static_cast<std::size_t>(i)];
        SCOPED_TRACE(show(want));
        EXPECT_EQ(got.No, want.No);
        EXPECT_EQ(got.Time, want.Time);
        EXPECT_EQ(got.DCAC, want.DCAC);
        bool numeric = false;
        const double value = want.Value.toDouble(&numeric);
        if (numeric) {
            EXPECT_DOUBLE_EQ(got.Value.toDouble(), value);
        } else {
            EXPECT_EQ(got.Value, want.Value);
        }
        EXPECT_EQ(got.Unit, want.Unit);
        EXPECT_EQ(got.Auto, want.Auto);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, CliLogSave, saveNameCases(), saveNameCaseName);

TEST(CliLogSaveFailure, UnwritableFileIsAnOutputErrorAfterThePrintedRows) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("none/log.xml"));
    const CliRun run = runLogSave(file);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.printed.size(), 7u);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot write ") + file)) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(file));
}

} // namespace
