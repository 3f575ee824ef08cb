// The journal that keeps the window's logged rows safe until they are saved:
// rows written as they are logged and read back from the file a crash left,
// a cut or unfilled end dropped, damage refused and set aside, a running
// window's journal left alone, a clean end leaving nothing; journals whose
// rows the user did not restore kept aside for 30 days.
#include "platform/posix/SystemErrorText.h"
#include "record/DeclinedJournals.h"
#include "record/LogJournal.h"
#include "record/LogTestSupport.h"
#include "support/FaultyFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cstring>
#include <gtest/gtest.h>

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
    QString folder() const { return dir.filePath(QStringLiteral("state/velkor")); }
    QStringList files() const {
        return QDir(folder()).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }

    // A journal of a run that crashed after logging the sample rows.
    QString crashedRun(std::vector<LogRecord> rows = sampleRows()) {
        LogJournal j(folder());
        EXPECT_TRUE(j.open()) << j.error().toStdString();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            j.append(rows[i], moment(i < 2 ? 10 : 11, 3600 + static_cast<int>(i)));
        }
        return j.path(); // the destructor leaves the file, as a crash does
    }
};

TEST_F(Journal, TheRowsOfARunThatDidNotEndCleanlyComeBack) {
    const QString path = crashedRun();
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(QFileInfo(folder()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
              QFile::Permissions())
        << "the folder is the user's own";

    LogJournal next(folder());
    ASSERT_TRUE(next.open());
    std::vector<LogJournal::Leftover> found = next.leftovers();
    ASSERT_EQ(found.size(), 1u);
    LogJournal::Leftover& l = found[0];
    EXPECT_EQ(l.path, path);
    EXPECT_FALSE(l.damaged) << l.reason.toStdString();
    EXPECT_EQ(show(rowsOf(l.rows)), show(sampleRows()));
    EXPECT_EQ(l.dates.dateOf(0), QDate(2026, 12, 10));
    EXPECT_EQ(l.dates.dateOf(3), QDate(2026, 12, 11));

    // Given back: the new journal carries them, the old file goes.
    next.carryOver(l);
    LogJournal::discard(l);
    EXPECT_FALSE(QFileInfo::exists(path));
    const LogJournal::Leftover carried = LogJournal::read(next.path());
    EXPECT_TRUE(carried.inUse) << "the running journal is locked";
    next.finish();
    EXPECT_TRUE(files().isEmpty()) << files().join(' ').toStdString();
}

TEST_F(Journal, CarriedRowsReadBackAsTheyWere) {
    const QString path = crashedRun();
    QString newPath;
    {
        LogJournal next(folder());
        ASSERT_TRUE(next.open());
        auto found = next.leftovers();
        ASSERT_EQ(found.size(), 1u);
        next.carryOver(found[0]);
        LogJournal::discard(found[0]);
        next.append(rec(9, "10:00:00", "AC", "1.000", "V", "pass"), moment(12, 0));
        newPath = next.path();
    } // crashed again
    const LogJournal::Leftover l = LogJournal::read(newPath);
    ASSERT_FALSE(l.damaged) << l.reason.toStdString();
    std::vector<LogRecord> want = sampleRows();
    want.push_back(rec(9, "10:00:00", "AC", "1.000", "V", "pass"));
    EXPECT_EQ(show(rowsOf(l.rows)), show(want));
    EXPECT_EQ(l.dates.dateOf(4), QDate(2026, 12, 12));
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
}

struct DamageCase {
    const char* name;
    std::function<QByteArray(QByteArray)> damage;
};

class JournalDamage : public Journal, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(JournalDamage, IsRefusedAndSetAsideNotDeleted) {
    const QString path = crashedRun();
    QByteArray bytes = readAll(path);
    bytes = GetParam().damage(bytes);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    LogJournal next(folder());
    ASSERT_TRUE(next.open());
    auto found = next.leftovers();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].damaged);
    EXPECT_FALSE(found[0].reason.isEmpty());
    EXPECT_EQ(found[0].rows.rowCount(), 0) << "no row of it is trusted";
    const QString aside = LogJournal::setAside(found[0]);
    EXPECT_EQ(aside, path + QStringLiteral(".damaged"));
    EXPECT_EQ(readAll(aside), bytes) << "kept as it was";
    EXPECT_TRUE(next.leftovers().empty()) << "and not offered again";
    next.finish();
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
                       return b + LogJournal::rowLine(r, moment(10, 0));
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Journal, ARunningWindowsJournalIsLeftAlone) {
    LogJournal running(folder());
    ASSERT_TRUE(running.open());
    running.append(sampleRows()[0], moment(10, 0));
    LogJournal other(folder());
    ASSERT_TRUE(other.open());
    EXPECT_TRUE(other.leftovers().empty());
    EXPECT_TRUE(QFileInfo::exists(running.path()));
    running.finish();
    other.finish();
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(Journal, ClearKeepsTheHeaderOnlyAndAJournalWithoutRowsIsNoLeftoverToOffer) {
    QString path;
    {
        LogJournal j(folder());
        ASSERT_TRUE(j.open());
        for (const LogRecord& r : sampleRows()) {
            j.append(r, moment(10, 0));
        }
        j.clear();
        j.append(sampleRows()[2], moment(10, 5));
        path = j.path();
    }
    const LogJournal::Leftover l = LogJournal::read(path);
    EXPECT_FALSE(l.damaged);
    ASSERT_EQ(l.rows.rowCount(), 1);
    EXPECT_EQ(l.rows.row(0), sampleRows()[2]);
    {
        LogJournal j(folder());
        ASSERT_TRUE(j.open());
        j.append(sampleRows()[0], moment(10, 0));
        j.clear();
        path = j.path();
    }
    EXPECT_EQ(LogJournal::read(path).rows.rowCount(), 0);
}

TEST_F(Journal, EachRowIsInTheFileAsSoonAsItIsLogged) {
    LogJournal j(folder());
    ASSERT_TRUE(j.open());
    for (int i = 0; i < 3; ++i) {
        j.append(sampleRows()[static_cast<std::size_t>(i)], moment(10, i));
        // Read through a handle of its own, as after a crash of the program.
        QFile f(j.path());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().count('\n'), i + 2);
    }
    j.finish();
}

// A full disk while logging is told once, with the system's reason; the
// rows written before it stay readable, and an interrupted write is
// retried, not taken for a failure.
TEST_F(Journal, AFullDiskIsToldOnceWithTheSystemsReason) {
    using Op = FaultyFileSystem::Op;
    FaultyFileSystem fs;
    fs.fail(Op::Write, EINTR, 1, 1);  // the first row's write
    fs.fail(Op::Write, ENOSPC, 1, 2); // the third row's
    QStringList told;
    QString path;
    {
        LogJournal j(folder(), fs);
        j.onFailure = [&told](const QString& why) { told.append(why); };
        ASSERT_TRUE(j.open());
        path = j.path();
        for (int i = 0; i < 4; ++i) {
            j.append(sampleRows()[static_cast<std::size_t>(i)], moment(10, i));
        }
    } // the file stays, as after a crash
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0], path + QStringLiteral(": ") + systemErrorText(ENOSPC));
    EXPECT_EQ(fs.calls[Op::Write], 5) << "nothing written after the failure";
    const LogJournal::Leftover back = LogJournal::read(path);
    EXPECT_FALSE(back.damaged) << back.reason.toStdString();
    EXPECT_EQ(back.rows.rowCount(), 2);
}

TEST_F(Journal, AFolderThatCannotBeMadeIsAnError) {
    const QString file = dir.filePath(QStringLiteral("plain"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    LogJournal j(file + QStringLiteral("/velkor"));
    EXPECT_FALSE(j.open());
    EXPECT_FALSE(j.error().isEmpty());
    j.append(sampleRows()[0], moment(10, 0)); // a journal that did not open takes nothing
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
