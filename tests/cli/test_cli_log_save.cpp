// velkor-cli log --save: the log made from the recorded stream is saved when
// the input ends, as an XML data packet or a workbook by the name, holding
// exactly the rows the command printed; a file that cannot be written, or
// whose name is no form a log is written in, is refused before a frame is
// read. --hi and --lo take the locale's decimal separator, as the window's
// limit edits do, and no other.

#include "platform/posix/SystemErrorText.h"
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/workbook/LogWorkbook.h"

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// velkor-cli log ARGS on standard input that stays open and empty: a run
// that started reading would wait for ever, so only a run refused before it
// reads ends. As root the run is an ordinary user's, for whom permissions
// hold.
struct Refusal {
    bool ended = false;
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Refusal runBeforeReading(const QStringList& args,
                         const QString& lcAll = QStringLiteral("C.UTF-8")) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), lcAll);
    p.setProcessEnvironment(env);
    if (::geteuid() == 0) {
        p.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(99);
            }
        });
    }
    p.start(QStringLiteral(VELKOR_CLI),
            QStringList{QStringLiteral("log")} + args + QStringList{QStringLiteral("-")});
    Refusal r;
    r.ended = p.waitForFinished(30000);
    if (!r.ended) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A folder an ordinary user may enter, for the cases below.
struct OpenFolder {
    QTemporaryDir dir;
    OpenFolder() { ::chmod(QFile::encodeName(dir.path()).constData(), 0755); }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

TEST(CliLogSaveTarget, AnOutThatCannotBeWrittenIsRefusedBeforeAFrameIsRead) {
    OpenFolder f;
    ASSERT_TRUE(QDir().mkdir(f.path("ro")));
    ASSERT_EQ(::chmod(QFile::encodeName(f.path("ro")).constData(), 0555), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.path("pipe.xml")).constData(), 0666), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.path("pipe.sqlite")).constData(), 0666), 0);
    ASSERT_TRUE(QDir().mkdir(f.path("folder.xml")));
    const struct {
        const char* label;
        const char* out;
        QStringList more;
        int exitCode;
        QString reason;
    } cases[] = {
        {"missing folder", "none/log.xml", {}, 3, systemErrorText(ENOENT)},
        {"missing folder, checkpoints",
         "none/log.csv",
         {QStringLiteral("--checkpoint"), QStringLiteral("60")},
         3,
         systemErrorText(ENOENT)},
        {"read-only folder", "ro/log.xlsx", {}, 3, systemErrorText(EACCES)},
        {"FIFO", "pipe.xml", {}, 3, notRegularFileText()},
        {"read-only folder, SQLite", "ro/log.sqlite", {}, 3, systemErrorText(EACCES)},
        {"FIFO, SQLite", "pipe.sqlite", {}, 3, notRegularFileText()},
        {"folder", "folder.xml", {}, 3, notRegularFileText()},
        {"unknown form", "log.pdf", {}, 2, QStringLiteral("names no form a log is written in")},
        {"no extension", "log", {}, 2, QStringLiteral("names no form a log is written in")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString out = f.path(c.out);
        const Refusal r = runBeforeReading(QStringList{QStringLiteral("--save"), out} + c.more);
        ASSERT_TRUE(r.ended) << "the run read standard input";
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString(); // not even the header
        EXPECT_TRUE(r.err.contains(out)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.reason)) << r.err.toStdString();
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(f.path("pipe.xml")).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo(f.path("folder.xml")).isDir());
    EXPECT_TRUE(QDir(f.path("ro")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(f.path("log.pdf")));
}

// The same text is the same limit in the window and here: written with the
// locale's decimal separator it is taken; with the other one it is refused
// (the window's limit edit would not take that key at all).
TEST(CliLogLimits, TakeTheLocalesDecimalSeparatorOnly) {
    const struct {
        const char* lcAll;
        const char* hi;
        bool taken;
    } cases[] = {
        {"C.UTF-8", "1.5", true},       {"C.UTF-8", "1,5", false},
        {"de_DE.UTF-8", "12,35", true}, {"de_DE.UTF-8", "12.35", false},
        {"C.UTF-8", "-999999", false},  {"C.UTF-8", "1e3", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll) + " " + c.hi);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(c.lcAll));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VELKOR_CLI),
                {QStringLiteral("log"), QStringLiteral("--hi"), QString::fromLatin1(c.hi),
                 QStringLiteral(VELKOR_FIXTURES "/log-halvin.bin")});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QByteArray out = p.readAllStandardOutput();
        if (c.taken) {
            EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
            EXPECT_EQ(out.count('\n'), 8); // the header and 7 rows
            continue;
        }
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_TRUE(out.isEmpty());
        const QString separator = QString::fromLatin1(c.lcAll).startsWith(u'd')
                                      ? QStringLiteral(",")
                                      : QStringLiteral(".");
        EXPECT_EQ(err,
                  QStringLiteral("velkor-cli: --hi: '%1' is no limit: write a number with this "
                                 "locale's decimal separator '%2' (LC_ALL, LC_NUMERIC, LANG), "
                                 "as the window's limit edits take it\n")
                      .arg(QString::fromLatin1(c.hi), separator));
    }
}

} // namespace
