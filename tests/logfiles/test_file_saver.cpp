// Every form of log file is saved the same way: the target is replaced in
// one step or not at all, what is no regular file of the user's is refused,
// a replaced file keeps its mode, a link is written through, and a save
// killed halfway leaves nothing behind; a system call that fails gives the
// system's reason and leaves the old file whole.
#include "disk/AtomicFile.h"
#include "logfiles/LogCsvFile.h"
#include "platform/posix/SystemErrorText.h"
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "support/FaultyFileSystem.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;

namespace {

using SaveFn = std::function<LogFileResult(const LogTable&, const QString&)>;

struct Form {
    const char* name;
    const char* file;
    SaveFn save;
};

void PrintTo(const Form& f, std::ostream* os) {
    *os << f.name;
}

LogFileResult saveWorkbook(const LogTable& t, const QString& path) {
    QString reason;
    return exportLogWorkbook(t, path, &reason) == WorkbookExportStatus::Saved
               ? LogFileResult::success()
               : LogFileResult::failure(reason);
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putFile(const QString& path, const QByteArray& bytes, mode_t mode) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mode;
}

class SaveRules : public ::testing::TestWithParam<Form> {
protected:
    QString path(const char* name = nullptr) const {
        return dir.filePath(QString::fromLatin1(name ? name : GetParam().file));
    }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir;
    VectorLogTable table{sampleRows()};
};

TEST_P(SaveRules, RefusesWhatIsNoRegularFileAndLeavesItAlone) {
    const QString fifo = path("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString toNull = path("null-link");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), toNull));
    const QString folder = path("folder");
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& target : {fifo, toNull, folder, QStringLiteral("/dev/null")}) {
        const LogFileResult r = GetParam().save(table, target);
        EXPECT_FALSE(r) << target.toStdString();
        EXPECT_TRUE(r.reason.contains(notRegularFileText())) << r.reason.toStdString();
    }
    EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
    EXPECT_TRUE(QFileInfo(toNull).isSymLink());
    EXPECT_TRUE(S_ISCHR(modeOf(QStringLiteral("/dev/null"))));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(entries().size(), 3);
}

TEST_P(SaveRules, RefusesAFileTheUserMayNotWrite) {
    putFile(path(), "old", 0444);
    // Root may write any file: the save then runs as an ordinary user.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    }
    int told[2];
    ASSERT_EQ(::pipe(told), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(told[0]);
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(2);
        }
        const QByteArray reason = GetParam().save(table, path()).reason.toUtf8();
        (void)::write(told[1], reason.constData(), static_cast<size_t>(reason.size()));
        ::_exit(0);
    }
    ::close(told[1]);
    QByteArray reason;
    char buf[256];
    for (ssize_t n; (n = ::read(told[0], buf, sizeof buf)) > 0;) {
        reason.append(buf, n);
    }
    ::close(told[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(QString::fromUtf8(reason).contains(systemErrorText(EACCES)))
        << reason.toStdString();
    EXPECT_EQ(bytesOf(path()), QByteArray("old"));
    EXPECT_EQ(entries().size(), 1);
}

TEST_P(SaveRules, KeepsTheModeAndWritesThroughALink) {
    putFile(path(), "old", 0600);
    const QString link = path("latest");
    ASSERT_TRUE(QFile::link(path(), link));
    const LogFileResult r = GetParam().save(table, link);
    ASSERT_TRUE(r) << r.reason.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link stays a link";
    EXPECT_NE(bytesOf(path()), QByteArray("old"));
    EXPECT_EQ(modeOf(path()) & 07777, 0600u);
    EXPECT_EQ(entries().size(), 2) << entries().join(u' ').toStdString();
}

// A save killed at any moment leaves the old file whole and no temporary
// file that outlives the next save: the child saves over and over until it
// is killed.
TEST_P(SaveRules, AKilledSaveLeavesTheOldFileAndNothingElse) {
    putFile(path(), "old", 0644);
    const QString other = path("other");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        bool told = false;
        for (;;) {
            GetParam().save(table, other);
            if (!told) {
                (void)::write(ready[1], "x", 1);
                told = true;
            }
        }
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(bytesOf(path()), QByteArray("old"));
    // The kill may fall between linking the new file in and renaming it
    // over the target: the next save of that file takes the name again.
    ASSERT_TRUE(GetParam().save(table, other));
    QStringList left = entries();
    left.removeAll(QString::fromLatin1(GetParam().file));
    left.removeAll(QStringLiteral("other"));
    // The workbook library's scratch files live between its open and its
    // unlink of them, a moment a kill can still hit; the saved file's own
    // temporary never has a name.
    left.removeIf([](const QString& n) { return n.startsWith(QLatin1String("tmp.")); });
    EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Forms, SaveRules,
                         ::testing::Values(Form{"Xml", "log.xml", saveLogXml},
                                           Form{"Csv", "log.csv",
                                                [](const LogTable& t, const QString& p) {
                                                    return saveLogCsv(t, p);
                                                }},
                                           Form{"Workbook", "log.xlsx", saveWorkbook}),
                         [](const auto& info) { return std::string(info.param.name); });

// One system call fails, is interrupted or writes short while the XML and
// the CSV form are saved over an old file through the same saver.
struct Fault {
    const char* name;
    FaultyFileSystem::Op op;
    int code;  // 0: the save succeeds
    int times; // calls that fail in a row
    int after; // calls that pass first
    std::size_t shortWrites;
};

void PrintTo(const Fault& f, std::ostream* os) {
    *os << f.name;
}

class SaveFaults : public ::testing::TestWithParam<Fault> {
protected:
    QTemporaryDir dir;
};

TEST_P(SaveFaults, AFailedCallLeavesTheOldFileWholeAndSaysWhy) {
    using Op = FaultyFileSystem::Op;
    std::vector<LogRecord> rows;
    for (int i = 0; i < 80000; ++i) {
        rows.push_back(rec(i + 1, QStringLiteral("09:05:03"), QStringLiteral("DC"),
                           QString::number(i % 2000 * 0.001, 'f', 3), QStringLiteral("V"),
                           QStringLiteral("pass")));
    }
    const VectorLogTable table(std::move(rows));
    using WriteFn = std::function<LogFileResult(QIODevice&)>;
    const std::pair<const char*, WriteFn> forms[] = {
        {"log.xml", [&](QIODevice& out) { return writeLogXml(table, out); }},
        {"log.csv", [&](QIODevice& out) { return writeLogCsv(table, out); }},
    };
    const Fault& fault = GetParam();
    for (const auto& [file, write] : forms) {
        SCOPED_TRACE(file);
        QBuffer expected;
        expected.open(QIODevice::WriteOnly);
        ASSERT_TRUE(write(expected));
        ASSERT_GT(expected.size(), 2 << 20) << "more than one buffer's worth";

        const QString target = dir.filePath(QString::fromLatin1(file));
        putFile(target, "old", 0640);
        FaultyFileSystem fs;
        fs.shortWrites = fault.shortWrites;
        if (fault.times > 0) {
            fs.fail(fault.op, fault.code, fault.times, fault.after);
        }
        const LogFileResult r = writeFileAtomically(target, write, fs);
        if (fault.code == 0 || fault.code == EINTR) {
            ASSERT_TRUE(r) << r.reason.toStdString();
            EXPECT_EQ(bytesOf(target), expected.data());
            EXPECT_EQ(modeOf(target) & 07777, 0640u);
            if (fault.shortWrites == 0) {
                // Written in pieces of about a megabyte, not of each row.
                EXPECT_LE(fs.calls[Op::Write] - fault.times, expected.size() / (512 << 10) + 1);
            }
        } else {
            EXPECT_FALSE(r);
            EXPECT_EQ(r.reason, systemErrorText(fault.code));
            EXPECT_EQ(bytesOf(target), QByteArray("old"));
        }
        const QStringList left =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        EXPECT_EQ(left, QStringList{QString::fromLatin1(file)});
        QFile::remove(target);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SaveFaults,
    ::testing::Values(Fault{"DiskFullMidway", FaultyFileSystem::Op::Write, ENOSPC, 1, 1, 0},
                      Fault{"SyncFails", FaultyFileSystem::Op::Fsync, EIO, 1, 0, 0},
                      Fault{"LinkFails", FaultyFileSystem::Op::Linkat, EMLINK, 1, 0, 0},
                      Fault{"RenameFails", FaultyFileSystem::Op::Rename, EXDEV, 1, 0, 0},
                      Fault{"CloseFails", FaultyFileSystem::Op::Close, EIO, 1, 0, 0},
                      Fault{"WritesInterrupted", FaultyFileSystem::Op::Write, EINTR, 3, 1, 0},
                      Fault{"ShortWrites", FaultyFileSystem::Op::Write, 0, 0, 0, 65521}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
