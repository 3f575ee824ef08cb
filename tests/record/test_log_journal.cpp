// The journal of the line format earlier versions of the window wrote,
// read back so its rows are still offered: rows and the moments they were
// logged, a cut or unfilled end dropped, damage refused, a journal an
// older window still holds left alone; journals whose rows the user did not
// restore kept aside for 30 days.
#include "record/DeclinedJournals.h"
#include "record/LogJournal.h"
#include "record/LogTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;

namespace {

QDateTime moment(int day, int second) {
    return QDateTime(QDate(2026, 12, day), QTime(0, 0).addSecs(second), QTimeZone(9 * 3600));
}

void appendBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(bytes);
}

struct Journal : ::testing::Test {
    QTemporaryDir dir;
    int runs = 0;

    // A journal of a window that crashed after logging `rows`, the first
    // two on one day and the rest on the next.
    QString crashedRun(std::vector<LogRecord> rows = sampleRows()) {
        QByteArray bytes("velkor journal 1\n");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            bytes += journalLine(rows[i], moment(i < 2 ? 10 : 11, 3600 + static_cast<int>(i)));
        }
        const QString path = dir.filePath(QStringLiteral("journal-%1.txt").arg(++runs));
        writeAll(path, bytes);
        return path;
    }
};

TEST_F(Journal, TheRowsComeBackWithTheMomentsTheyWereLogged) {
    const LogJournal::Leftover l = LogJournal::read(crashedRun());
    EXPECT_FALSE(l.damaged) << l.reason.toStdString();
    EXPECT_FALSE(l.inUse);
    EXPECT_EQ(show(rowsOf(l.rows)), show(sampleRows()));
    EXPECT_EQ(l.dates.dateOf(0), QDate(2026, 12, 10));
    EXPECT_EQ(l.dates.dateOf(3), QDate(2026, 12, 11));
    ASSERT_EQ(l.moments.size(), 4u);
    EXPECT_EQ(l.moments[3].utcMs, moment(11, 3603).toMSecsSinceEpoch());
    EXPECT_EQ(l.moments[3].utcOffset, 9 * 3600);
}

TEST_F(Journal, TextsWithTabsLineBreaksAndOtherScriptsSurvive) {
    const std::vector<LogRecord> rows = {rec(1, "a\tb", "c\nd", "e\\f", "g\rh", "合格"),
                                         rec(std::nullopt, "", "", "", "", "")};
    const QString path = crashedRun(rows);
    const LogJournal::Leftover l = LogJournal::read(path);
    ASSERT_FALSE(l.damaged) << l.reason.toStdString();
    EXPECT_EQ(show(rowsOf(l.rows)), show(rows));
}

TEST_F(Journal, ALineTheCrashCutShortAndUnfilledBlocksAreDropped) {
    const QString path = crashedRun();
    appendBytes(path, QByteArray("17\t2026-12-11T01:00:0"));
    EXPECT_EQ(LogJournal::read(path).rows.rowCount(), 4);
    EXPECT_FALSE(LogJournal::read(path).damaged);
    appendBytes(path, QByteArray(8192, '\0'));
    const LogJournal::Leftover l = LogJournal::read(path);
    EXPECT_FALSE(l.damaged) << l.reason.toStdString();
    EXPECT_EQ(l.rows.rowCount(), 4);

    const QString zeros = crashedRun();
    appendBytes(zeros, QByteArray(3 << 20, '\0'));
    EXPECT_EQ(LogJournal::read(zeros).rows.rowCount(), 4);
    EXPECT_FALSE(LogJournal::read(zeros).damaged);

    // A header alone, or cut short: no row, nothing damaged.
    for (const QByteArray& bytes : {QByteArray("velkor journal 1\n"), QByteArray("velkor jou")}) {
        const QString path = dir.filePath(QStringLiteral("short.txt"));
        writeAll(path, bytes);
        const LogJournal::Leftover l = LogJournal::read(path);
        EXPECT_FALSE(l.damaged) << l.reason.toStdString();
        EXPECT_EQ(l.rows.rowCount(), 0);
    }
}

struct DamageCase {
    const char* name;
    std::function<QByteArray(QByteArray)> damage;
};

class JournalDamage : public Journal, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(JournalDamage, IsRefusedWithoutARow) {
    const QString path = crashedRun();
    QByteArray bytes = readAll(path);
    bytes = GetParam().damage(bytes);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    const LogJournal::Leftover l = LogJournal::read(path);
    EXPECT_TRUE(l.damaged);
    EXPECT_FALSE(l.reason.isEmpty());
    EXPECT_EQ(l.rows.rowCount(), 0) << "no row of it is trusted";
    EXPECT_TRUE(l.moments.empty());
    EXPECT_EQ(readAll(path), bytes) << "left as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Damage, JournalDamage,
    ::testing::Values(
        DamageCase{"FlippedByte",
                   [](QByteArray b) {
                       b[b.indexOf("012.3") + 1] = '9';
                       return b;
                   }},
        DamageCase{"ForeignHeader", [](QByteArray b) { return b.replace(0, 6, "VELKOR"); }},
        DamageCase{"NotAJournal", [](QByteArray) { return QByteArray("No,Time\n1,2\n"); }},
        DamageCase{"BytesAfterZeros",
                   [](QByteArray b) { return b + QByteArray(4096, '\0') + "junk\n"; }},
        DamageCase{"OverlongText",
                   [](QByteArray b) {
                       // A text longer than the table keeps, with a valid CRC.
                       LogRecord r = sampleRows()[0];
                       r.Value = QString(30, u'9');
                       return b + journalLine(r, moment(10, 0));
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

// A window of an older version that still runs holds its journal locked.
TEST_F(Journal, AJournalAnOlderWindowStillHoldsIsLeftAlone) {
    const QString path = crashedRun();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const LogJournal::Leftover l = LogJournal::read(path);
    EXPECT_TRUE(l.inUse);
    EXPECT_EQ(l.rows.rowCount(), 0);
    ::close(fd);
    EXPECT_FALSE(LogJournal::read(path).inUse);
}

TEST(JournalCrc, IsTheIeeeCrc32) {
    EXPECT_EQ(LogJournal::crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(LogJournal::crc32("", 0), 0u);
}

// Kept aside under a name that says when, listed by that moment, removed
// once 30 days have passed; other files of the folder are left alone.
TEST(DeclinedJournalsTest, KeepListAndRemoveByTheMomentInTheName) {
    QTemporaryDir dir;
    const DeclinedJournals declined(dir.path(), LogJournal::nameSuffix());
    const auto file = [&](const QString& name) {
        writeAll(dir.filePath(name), "rows");
        return dir.filePath(name);
    };
    const QDateTime first = moment(10, 0);          // 2026-12-09T15:00:00Z
    const QDateTime second = moment(10, 3600 + 59); // an hour later
    const QString a = declined.keepAside(file(QStringLiteral("journal-1-2-0.txt")), second);
    const QString b = declined.keepAside(file(QStringLiteral("journal-3-4-0.txt")), first);
    EXPECT_EQ(QFileInfo(a).fileName(),
              QStringLiteral("declined-20261209T160059Z-journal-1-2-0.txt"));
    EXPECT_EQ(QFileInfo(b).fileName(),
              QStringLiteral("declined-20261209T150000Z-journal-3-4-0.txt"));
    EXPECT_TRUE(declined.keepAside(dir.filePath(QStringLiteral("gone.txt")), first).isEmpty());
    // Not kept journals: damaged ones set aside, other forms, bad moments.
    file(QStringLiteral("declined-20261209T150000Z-journal-5.txt.damaged"));
    file(QStringLiteral("declined-20261209T150000Z-journal-6.sqlite"));
    file(QStringLiteral("declined-20261332T150000Z-journal-7.txt"));
    file(QStringLiteral("declined-20261209T15000Z-journal-8.txt"));

    const std::vector<DeclinedJournals::Kept> kept = declined.list();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].path, b);
    EXPECT_EQ(kept[0].declined, first.toUTC());
    EXPECT_EQ(kept[1].path, a);
    EXPECT_EQ(DeclinedJournals::removal(first), first.addDays(30));

    EXPECT_EQ(declined.removeExpired(first.addDays(30).addSecs(-1)), 0);
    EXPECT_EQ(declined.removeExpired(first.addDays(30)), 1);
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 5);
}

} // namespace
