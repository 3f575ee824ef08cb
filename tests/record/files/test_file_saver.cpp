// Every form of log file is saved the same way: the target is replaced in
// one step or not at all, what is no regular file of the user's is refused,
// a replaced file keeps its mode, a link is written through, and a save
// killed halfway leaves nothing behind.
#include "record/LogCsvFile.h"
#include "record/LogTestSupport.h"
#include "record/LogXmlFile.h"
#include "record/files/LogWorkbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
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
        EXPECT_TRUE(r.reason.contains(QStringLiteral("not a regular file")))
            << r.reason.toStdString();
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
    EXPECT_TRUE(QString::fromUtf8(reason).contains(QString::fromLocal8Bit(std::strerror(EACCES))))
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

} // namespace
