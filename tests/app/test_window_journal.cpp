// The window's journal: a window killed while logging leaves its rows, and
// the next window offers them back (in Japanese) and logs on after them;
// rows not restored are kept aside and offered again until they are
// restored, deleted or 30 days old; a clean end, a save and a new log leave
// no file behind, nor does a window that logged nothing; a journal of the
// line format earlier versions wrote is offered back the same way; a
// damaged journal is told and set aside, never loaded; a journal that
// cannot be written is told in Japanese.
#include "app/JournalTestSupport.h"
#include "logfiles/sqlite/LogSqliteJournal.h"
#include "pipeline/MeterSession.h"
#include "platform/posix/SystemErrorText.h"
#include "record/LogTestSupport.h"
#include "support/EventPump.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QToolButton>
#include <csignal>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;
using Answer = MessageBoxes::Answer;

namespace {

const QString kOffer = QStringLiteral(
    "前回は正しく終了しなかったため、保存されていない記録が%1件残っています。記録に復元しますか？");
// What each answer does, with the day rows kept aside go.
const QString kAnswers =
    QStringLiteral("\n\n「復元する」: 記録に加えます。\n"
                   "「残しておく」: 今は復元せず、次に起動したときにもう一度たずねます。%1 "
                   "を過ぎると削除します。\n"
                   "「削除する」: 記録を削除します。元には戻せません。");
const QStringList kOfferButtons = {QStringLiteral("復元する(&R)"), QStringLiteral("残しておく(&K)"),
                                   QStringLiteral("削除する(&D)")};

struct Journals : ::testing::Test {
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("velkor")); }
    // Every journal file, SQLite's files beside them included.
    QStringList journals() const {
        return QDir(folder()).entryList({QStringLiteral("journal-*")}, QDir::Files);
    }
    // The SQLite journals themselves.
    QStringList databases() const {
        return QDir(folder()).entryList({QStringLiteral("journal-*.sqlite")}, QDir::Files);
    }
    QStringList keptAside() const {
        return QDir(folder()).entryList({QStringLiteral("declined-*")}, QDir::Files);
    }
    // Waits until the journal file holds `rows` rows (they are committed
    // within a second).
    static bool journalHolds(const QString& file, qsizetype rows) {
        return pumpUntil([&] { return journalRows(file) == rows; });
    }

    // A window process that logged `rows` readings, killed by SIGKILL.
    void killedWindow(int rows) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(VELKOR_JOURNAL_CHILD), {folder(), QString::number(rows)});
        ASSERT_TRUE(child.waitForStarted(10000));
        ASSERT_TRUE(pumpUntil(
            [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 60000));
        ASSERT_EQ(child.readLine(), QByteArray("ready ") + QByteArray::number(rows) + '\n')
            << child.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(10000));
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);
    }
};

TEST_F(Journals, AWindowKilledWhileLoggingHasItsRowsOfferedBackAndLoggingGoesOn) {
    killedWindow(5);
    ASSERT_EQ(databases().size(), 1);
    const QString left = QDir(folder()).filePath(databases().first());

    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::Yes});
    ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    // The clock stands at 2026-01-01 09:05:03: rows kept aside would go
    // 30 days later.
    EXPECT_EQ(w.boxes.shown[0].text, kOffer.arg(5) + kAnswers.arg(QStringLiteral("2026/01/31")));
    EXPECT_EQ(w.boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_EQ(w.boxes.shown[0].buttons, MessageBoxes::Buttons::Choices);
    EXPECT_EQ(w.boxes.shown[0].choices, kOfferButtons);

    MeasurementTable& cds1 = w.window->session().cds1;
    ASSERT_EQ(cds1.rowCount(), 5);
    for (int i = 0; i < 5; ++i) {
        const LogRecord r = cds1.row(i);
        EXPECT_EQ(r.No, i + 1);
        EXPECT_EQ(r.Time, QStringLiteral("09:05:03"));
        EXPECT_EQ(r.DCAC, QStringLiteral("DC"));
        EXPECT_EQ(r.Value, QStringLiteral("01.%1").arg(10 + i));
        EXPECT_EQ(r.Unit, QStringLiteral("V"));
        EXPECT_EQ(r.Auto, QStringLiteral("pass"));
    }
    EXPECT_FALSE(QFileInfo::exists(left)) << "the old journal goes once its rows are back";

    // Logging goes on after them, and the new journal holds every unsaved row.
    w.send(journalReading(7));
    ASSERT_EQ(cds1.rowCount(), 6);
    EXPECT_EQ(cds1.row(5).No, 6);
    EXPECT_TRUE(journalHolds(w.window->journal->path(), 6));
    EXPECT_EQ(databases().first(), QFileInfo(w.window->journal->path()).fileName());
}

TEST_F(Journals, RowsNotRestoredAreKeptAsideAndOfferedAgain) {
    killedWindow(3);
    const QString left = databases().first();
    {
        WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::No});
        ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
        EXPECT_EQ(w.window->session().cds1.rowCount(), 0);
        EXPECT_EQ(w.window->session().log.NextRecordNo, 1);
        EXPECT_TRUE(journals().isEmpty()) << journals().join(' ').toStdString();
        // Aside under its own name, with the moment it was declined (UTC).
        const QString declined = QDateTime(QDate(2026, 1, 1), QTime(9, 5, 3))
                                     .toUTC()
                                     .toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
        EXPECT_EQ(keptAside(), QStringList{QStringLiteral("declined-%1-%2").arg(declined, left)});
        w.boxes.answers.push_back(Answer::Yes); // "プログラムを終了しますか？"
        EXPECT_TRUE(w.window->close());
    }
    // Every start offers them again, saying when they were declined, until
    // they are restored.
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::Yes});
    ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text,
              QStringLiteral("2026/01/01 09:05 に復元しなかった記録が3件残っています。"
                             "記録に復元しますか？") +
                  kAnswers.arg(QStringLiteral("2026/01/31")));
    EXPECT_EQ(w.boxes.shown[0].choices, kOfferButtons);
    MeasurementTable& cds1 = w.window->session().cds1;
    ASSERT_EQ(cds1.rowCount(), 3);
    EXPECT_EQ(cds1.row(2).Value, QStringLiteral("01.12"));
    EXPECT_EQ(w.window->session().log.NextRecordNo, 4);
    EXPECT_TRUE(keptAside().isEmpty());
    EXPECT_TRUE(journalHolds(w.window->journal->path(), 3));
}

TEST_F(Journals, DeletedRowsAreGoneForGood) {
    killedWindow(3);
    {
        WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::Discard});
        ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
        EXPECT_EQ(w.window->session().cds1.rowCount(), 0);
        EXPECT_TRUE(journals().isEmpty()) << journals().join(' ').toStdString();
        EXPECT_TRUE(keptAside().isEmpty());
    }
    // The window that logged nothing left nothing: the next one asks
    // nothing.
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder());
    pumpFor(50);
    EXPECT_TRUE(w.boxes.shown.empty()) << w.boxes.shown[0].text.toStdString();
}

TEST_F(Journals, AWindowKilledBeforeItLoggedAnythingLeavesNoFile) {
    killedWindow(0);
    EXPECT_TRUE(
        QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST_F(Journals, RowsKeptAsideGoAfterThirtyDays) {
    killedWindow(2);
    {
        WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::No});
        ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
    }
    ASSERT_EQ(keptAside().size(), 1u);
    // Declined 29 days and 30 days and a second before the window's clock.
    const QString kept = keptAside().first();
    const QString rest = kept.mid(QStringLiteral("declined-20260101T000503Z").size());
    const QDateTime now = QDateTime(QDate(2026, 1, 1), QTime(9, 5, 3)).toUTC();
    for (const auto& [age, offered] : {std::pair{29 * 86400, true}, {30 * 86400 + 1, false}}) {
        SCOPED_TRACE(age);
        const QString name = QStringLiteral("declined-") +
                             now.addSecs(-age).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")) +
                             rest;
        ASSERT_TRUE(QDir(folder()).rename(keptAside().first(), name));
        WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::No});
        ASSERT_TRUE(
            pumpUntil([&] { return offered ? !w.boxes.shown.empty() : keptAside().isEmpty(); }));
        EXPECT_EQ(w.boxes.shown.size(), offered ? 1u : 0u);
        EXPECT_EQ(keptAside().size(), offered ? 1 : 0);
    }
}

TEST_F(Journals, ACleanEndLeavesNoJournal) {
    {
        WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder());
        for (int i = 0; i < 3; ++i) {
            w.send(journalReading(i));
        }
        EXPECT_TRUE(journalHolds(w.window->journal->path(), 3));
        w.boxes.answers.push_back(Answer::Discard); // the unsaved rows: "保存しない"
        EXPECT_TRUE(w.window->close());
    }
    EXPECT_TRUE(journals().isEmpty()) << journals().join(' ').toStdString();
    // A window closed without being asked to (the program was killed) leaves
    // its rows; one whose close was refused keeps logging into its journal.
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder());
    w.send(journalReading(0));
    w.boxes.answers.push_back(Answer::Cancel);
    EXPECT_FALSE(w.window->close());
    w.send(journalReading(1));
    EXPECT_TRUE(journalHolds(w.window->journal->path(), 2));
}

TEST_F(Journals, ASuccessfulSaveOrANewLogEmptiesTheJournal) {
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder());
    pumpFor(20);
    for (int i = 0; i < 3; ++i) {
        w.send(journalReading(i));
    }
    const QString journal = w.window->journal->path();
    ASSERT_TRUE(journalHolds(journal, 3));

    // A save that fails keeps the rows in the journal.
    w.fileDialogs.answers.push_back(dir.filePath(QStringLiteral("none/log.xml")));
    QTest::mouseClick(w.child<QToolButton>("saveas"), Qt::LeftButton);
    EXPECT_EQ(journalRows(journal), 3);
    w.fileDialogs.answers.push_back(dir.filePath(QStringLiteral("log.xml")));
    QTest::mouseClick(w.child<QToolButton>("saveas"), Qt::LeftButton);
    EXPECT_TRUE(w.window->journal->path().isEmpty());
    EXPECT_TRUE(journals().isEmpty()) << journals().join(' ').toStdString();

    w.send(journalReading(5));
    EXPECT_TRUE(journalHolds(w.window->journal->path(), 1));
    w.boxes.answers.push_back(Answer::Discard); // the unsaved row: "保存しない"
    QTest::mouseClick(w.child<QToolButton>("RecordNew"), Qt::LeftButton);
    EXPECT_EQ(w.window->session().cds1.rowCount(), 0);
    EXPECT_TRUE(journals().isEmpty()) << journals().join(' ').toStdString();
}

TEST_F(Journals, ADamagedJournalIsToldAndSetAsideNotLoaded) {
    killedWindow(4);
    const QString left = QDir(folder()).filePath(databases().first());
    // Pages of the file overwritten, SQLite's log lost.
    QByteArray bytes = readAll(left);
    bytes.fill('\x5a', 8192);
    for (const char* side : {"-wal", "-shm"}) {
        ASSERT_TRUE(QFile::remove(left + QLatin1String(side)));
    }
    {
        QFile f(left);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::Yes});
    ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    const auto& box = w.boxes.shown[0];
    EXPECT_TRUE(box.text.startsWith(
        QStringLiteral("前回の記録のジャーナルが壊れているため、復元できません。\n")))
        << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(left + QStringLiteral(".damaged"))) << box.text.toStdString();
    EXPECT_EQ(box.icon, MessageBoxes::Icon::Warning);
    EXPECT_EQ(w.window->session().cds1.rowCount(), 0);
    EXPECT_EQ(readAll(left + QStringLiteral(".damaged")), bytes) << "kept as it was, aside";
    EXPECT_FALSE(QFileInfo::exists(left));
}

// The reason comes in the window's language, not the system's English.
TEST_F(Journals, AJournalThatCannotBeMadeIsToldInJapanese) {
    const QString file = dir.filePath(QStringLiteral("file"));
    writeAll(file, "not a folder");
    const QString folder = file + QStringLiteral("/velkor");
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder);
    ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text,
              QStringLiteral("記録のジャーナルに書き込めません。記録は保存するまでメモリにだけ"
                             "残ります。\n%1: フォルダを作れません (%2)")
                  .arg(folder, systemErrorText(ENOTDIR)));
    EXPECT_EQ(w.boxes.shown[0].icon, MessageBoxes::Icon::Warning);
    // Logging goes on, in memory.
    w.send(journalReading(0));
    EXPECT_EQ(w.window->session().cds1.rowCount(), 1);
}

TEST_F(Journals, ACsvSavedFromTheWindowCarriesTheDayOfEachLoggedRow) {
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder());
    w.send(journalReading(0));
    w.clock.set(QDateTime(QDate(2026, 1, 2), QTime(0, 0, 1)));
    w.send(journalReading(1));
    const QString file = dir.filePath(QStringLiteral("log.csv"));
    w.fileDialogs.answers.push_back(file);
    QTest::mouseClick(w.child<QToolButton>("saveas"), Qt::LeftButton);
    ASSERT_FALSE(w.boxes.shown.empty());
    EXPECT_EQ(w.boxes.shown.back().text, file + QStringLiteral("に保存"));
    EXPECT_EQ(readAll(file), QByteArray("No,Date,Time,Function,Value,Unit,Judge,SI\r\n"
                                        "1,2026-01-01,09:05:03,DC,01.10,V,pass,1.1\r\n"
                                        "2,2026-01-02,00:00:01,DC,01.11,V,pass,1.11\r\n"));
    EXPECT_TRUE(journals().isEmpty()) << "saved: the journal goes";
}

TEST_F(Journals, AWindowWithoutAJournalFolderStillLogsAndSavesCsv) {
    WindowFixture w;
    EXPECT_EQ(w.window->journal, nullptr);
    w.send(journalReading(0));
    const QString file = dir.filePath(QStringLiteral("log.csv"));
    w.fileDialogs.answers.push_back(file);
    QTest::mouseClick(w.child<QToolButton>("saveas"), Qt::LeftButton);
    EXPECT_TRUE(readAll(file).contains("1,2026-01-01,09:05:03,DC,01.10,V,pass,1.1\r\n"));
}

// A journal an earlier version left in its line format is offered as any
// other; its rows come back with their days and go on in the new journal,
// and the old file goes.
TEST_F(Journals, AJournalOfTheLineFormatIsOfferedBackOnce) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QDateTime day1(QDate(2025, 12, 31), QTime(23, 59, 58), QTimeZone(9 * 3600));
    QByteArray lines("velkor journal 1\n");
    for (int i = 0; i < 2; ++i) {
        LogRecord r;
        r.No = i + 1;
        r.Time = day1.addSecs(i).time().toString(QStringLiteral("hh:mm:ss"));
        r.DCAC = QStringLiteral("DC");
        r.Value = QStringLiteral("01.2%1").arg(i);
        r.Unit = QStringLiteral("V");
        r.Auto = QStringLiteral("pass");
        lines += journalLine(r, day1.addSecs(2 * i));
    }
    const QString old = QDir(folder()).filePath(QStringLiteral("journal-1234-1000-0.txt"));
    writeAll(old, lines);

    {
        WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::Yes});
        ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
        ASSERT_EQ(w.boxes.shown.size(), 1u);
        EXPECT_EQ(w.boxes.shown[0].text,
                  kOffer.arg(2) + kAnswers.arg(QStringLiteral("2026/01/31")));
        MeasurementTable& cds1 = w.window->session().cds1;
        ASSERT_EQ(cds1.rowCount(), 2);
        EXPECT_EQ(cds1.row(1).Value, QStringLiteral("01.21"));
        EXPECT_EQ(w.window->session().log.NextRecordNo, 3);
        EXPECT_FALSE(QFileInfo::exists(old));
        // In the new journal with the moments they were logged.
        const QString journal = w.window->journal->path();
        ASSERT_TRUE(journalHolds(journal, 2));
        RowDates dates;
        std::vector<std::optional<RowMoment>> moments;
        LogRowBuffer rows;
        ASSERT_TRUE(readLogSqlite(journal, rows, {std::nullopt, &dates, &moments}));
        ASSERT_EQ(moments.size(), 2u);
        ASSERT_TRUE(moments[1].has_value());
        EXPECT_EQ(moments[1]->utcMs, day1.addSecs(2).toMSecsSinceEpoch());
        EXPECT_EQ(moments[1]->utcOffset, 9 * 3600);
        EXPECT_EQ(dates.dateOf(1), QDate(2026, 1, 1));
    }
    // Not offered again: the window above was not closed, so its journal
    // (the rows' one place now) is what the next window offers.
    WindowFixture w(MeterVariant::IFHALVIN, nullptr, folder(), {Answer::Discard});
    ASSERT_TRUE(pumpUntil([&] { return !w.boxes.shown.empty(); }));
    pumpFor(50);
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, kOffer.arg(2) + kAnswers.arg(QStringLiteral("2026/01/31")));
    EXPECT_TRUE(journals().isEmpty()) << journals().join(' ').toStdString();
}

} // namespace
