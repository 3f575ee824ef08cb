// The SQLite log: rows written by the writer and read back, by this
// program and by SQLite's own shell; runs added, never rewritten; a second
// writer refused; rows that wait while the file cannot be written; files
// that are not logs refused and left as they were; the costs a hostile
// file may cause bounded.
#include "logfiles/sqlite/LogSqliteFile.h"
#include "logfiles/sqlite/LogSqliteSchema.h"
#include "record/LogTestSupport.h"
#include "support/SqliteShell.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimeZone>
#include <csignal>
#include <sys/resource.h>

using namespace velkor;
using namespace velkor::test;

namespace {

LoggedReading reading(const LogRecord& row, qint64 utcMs, MarkSet marks, QByteArray frame) {
    LoggedReading r;
    r.setRow(row);
    r.utcMs = utcMs;
    r.utcOffset = 9 * 3600;
    r.marks = marks;
    r.setFrameHex(frame.toHex().toUpper().toStdString());
    return r;
}

// 2026-12-10 21:05:03.120 +09:00
constexpr qint64 kMoment = 1'796'904'303'120;

std::vector<LogRecord> loggedRows() {
    return {rec(1, "21:05:03", "DC", "012.3", "V", "pass"),
            rec(2, "21:05:03", "DC", "0L", "V", "Fail"),
            rec(3, "21:05:04", "OHM", "4.700", "k*", "pass"),
            rec(std::nullopt, "21:05:04", "TMP", "0023", "#", "pass"),
            rec(5, "21:05:05", "Kanji", "日本", "µΩ", "pass", 7)};
}

LogRunInfo runInfo(const QString& device) {
    LogRunInfo run;
    run.program = QStringLiteral("velkor-cli 1.0.0");
    run.variant = QStringLiteral("IFHALVIN");
    run.device = device;
    run.started = QDateTime::fromMSecsSinceEpoch(kMoment - 1000, QTimeZone(9 * 3600));
    run.limitHi = QStringLiteral("6000");
    run.limitLo = QStringLiteral("-6000");
    run.repeats = true;
    return run;
}

// Logs `rows` as one run of the file.
void logRun(const QString& file, const std::vector<LogRecord>& rows, const QString& device) {
    LogSqliteWriter w(file);
    ASSERT_TRUE(w.open(runInfo(device)));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        w.append(reading(rows[i], kMoment + qint64(i) * 500, MarkSet::of(Mark::LcdDc1, Mark::LcdV),
                         QByteArray::fromHex("2B30313233203430000080000D")));
    }
    ASSERT_TRUE(w.finish());
}

std::vector<LogRecord> readBack(const QString& file, std::optional<qint64> run = {}) {
    LogRowBuffer rows;
    const LogFileResult r = readLogSqlite(file, rows, {run, nullptr});
    EXPECT_TRUE(r) << r.reason.toStdString();
    return rowsOf(rows);
}

QByteArray digest(const QString& file) {
    return QCryptographicHash::hash(readAll(file), QCryptographicHash::Sha256);
}

bool sideFilesLeft(const QString& file) {
    return QFileInfo::exists(file + QStringLiteral("-wal")) ||
           QFileInfo::exists(file + QStringLiteral("-shm")) ||
           QFileInfo::exists(file + QStringLiteral("-journal"));
}

TEST(SqliteLog, RowsAreWrittenAsTheSchemaSaysAndReadBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.sqlite"));
    logRun(file, loggedRows(), QStringLiteral("/dev/ttyUSB0"));

    EXPECT_EQ(sqliteShell(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("PRAGMA application_id; PRAGMA user_version; "
                                               "PRAGMA journal_mode")),
              QStringLiteral("1447840594\n1\nwal"));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT run, program, variant, device, started_ms, "
                                               "started_offset, ended_ms >= started_ms, limit_hi, "
                                               "limit_lo, sampling_s IS NULL, repeats, max_records "
                                               "IS NULL FROM runs")),
              QStringLiteral("1|velkor-cli 1.0.0|IFHALVIN|/dev/ttyUSB0|1796904302120|32400|1|6000|"
                             "-6000|1|1|1"));
    EXPECT_EQ(sqliteShell(file, QStringLiteral(
                                    "SELECT run, quote(no), utc_ms, utc_offset, time, function, "
                                    "value, unit, judge, quote(si), quote(si_unit), marks, "
                                    "hex(frame), unit_code, quote(nval) FROM readings ORDER BY id")),
              QStringLiteral(
                  "1|1|1796904303120|32400|21:05:03|DC|012.3|V|pass|12.3|'V'|LcdDc1 "
                  "LcdV|2B30313233203430000080000D|V|NULL\n"
                  "1|2|1796904303620|32400|21:05:03|DC|0L|V|Fail|NULL|'V'|LcdDc1 "
                  "LcdV|2B30313233203430000080000D|V|NULL\n"
                  "1|3|1796904304120|32400|21:05:04|OHM|4.700|kΩ|pass|4700.0|'Ω'|LcdDc1 "
                  "LcdV|2B30313233203430000080000D|k*|NULL\n"
                  "1|NULL|1796904304620|32400|21:05:04|TMP|0023|°C|pass|23.0|'°C'|LcdDc1 "
                  "LcdV|2B30313233203430000080000D|#|NULL\n"
                  "1|5|1796904305120|32400|21:05:05|Kanji|日本|µΩ|pass|NULL|'Ω'|LcdDc1 "
                  "LcdV|2B30313233203430000080000D|µΩ|7"));
    // The schema is in the file as it is documented, comments and all.
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT sql FROM sqlite_schema ORDER BY rowid")),
              QString::fromUtf8(sqlite::kRunsTable) + u'\n' +
                  QString::fromUtf8(sqlite::kReadingsTable));

    EXPECT_EQ(show(readBack(file)), show(loggedRows()));
    RowDates dates;
    LogRowBuffer rows;
    ASSERT_TRUE(readLogSqlite(file, rows, {std::nullopt, &dates}));
    EXPECT_EQ(dates.dateOf(0), QDate(2026, 12, 10)); // the local day at +09:00
    EXPECT_FALSE(sideFilesLeft(file)) << "a clean end leaves the file alone";
}

TEST(SqliteLog, EachRunIsAddedAndTheRunsBeforeStayAsTheyWere) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.db"));
    const std::vector<LogRecord> first = loggedRows();
    const std::vector<LogRecord> second = {rec(1, "22:00:00", "AC", "1.000", "V", "pass")};
    logRun(file, first, QStringLiteral("a"));
    const QString firstRun = sqliteShell(file, QStringLiteral("SELECT * FROM readings"));
    logRun(file, {}, QStringLiteral("nothing logged")); // leaves no trace
    logRun(file, second, QStringLiteral("b"));

    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT run, device FROM runs")),
              QStringLiteral("1|a\n2|b"));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT * FROM readings WHERE run = 1")), firstRun);
    std::vector<LogRecord> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(show(readBack(file)), show(both));
    EXPECT_EQ(show(readBack(file, 1)), show(first));
    EXPECT_EQ(show(readBack(file, 2)), show(second));

    LogRowBuffer rows = bufferOf(sampleRows());
    const LogFileResult r = readLogSqlite(file, rows, {3, nullptr});
    EXPECT_EQ(r.reason, QStringLiteral("run 3 はありません (run は 1 から 2 まで)"));
    EXPECT_EQ(rows.rowCount(), 0);

    std::vector<SqliteLogRun> runs;
    ASSERT_TRUE(listLogSqliteRuns(file, &runs));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].device, QStringLiteral("b"));
    EXPECT_EQ(runs[1].started.offsetFromUtc(), 9 * 3600);
    EXPECT_TRUE(runs[1].ended.isValid());
}

TEST(SqliteLog, ALogSavedWholeIsOneRunOfItsRows) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("saved.sqlite"));
    LogRunInfo run;
    run.program = QStringLiteral("velkor 1.0.0");
    run.variant = QStringLiteral("IFHALVIN");
    ASSERT_TRUE(saveLogSqlite(bufferOf(loggedRows()), file, run));
    ASSERT_TRUE(saveLogSqlite(bufferOf(sampleRows()), file, run));
    EXPECT_EQ(show(readBack(file, 1)), show(loggedRows()));
    EXPECT_EQ(show(readBack(file, 2)), show(sampleRows()));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*), count(utc_ms), count(marks), "
                                               "count(frame) FROM readings; "
                                               "SELECT device, ended_ms = started_ms FROM runs")),
              QStringLiteral("9|0|0|0\n|1\n|1"));
}

TEST(SqliteLog, ASecondWriterIsRefusedWhileReadersReadAtWill) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.sqlite"));
    LogSqliteWriter first(file);
    ASSERT_TRUE(first.open(runInfo(QStringLiteral("first"))));
    first.append(reading(loggedRows()[0], kMoment, {}, {}));
    ASSERT_TRUE(first.commitNow());

    LogSqliteWriter second(file);
    const LogFileResult refused = second.open(runInfo(QStringLiteral("second")));
    EXPECT_FALSE(refused);
    EXPECT_TRUE(second.lockedByAnother());
    EXPECT_EQ(refused.reason, QStringLiteral("別の記録プログラムが書き込み中です"));
    LogRowBuffer rows = bufferOf(sampleRows());
    EXPECT_FALSE(saveLogSqlite(rows, file, {})) << "a whole log is refused the same way";

    // Readers see what is committed while the writer goes on.
    EXPECT_EQ(readBack(file).size(), 1u);
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*) FROM readings")),
              QStringLiteral("1"));
    first.append(reading(loggedRows()[1], kMoment + 1, {}, {}));
    ASSERT_TRUE(first.commitNow());
    EXPECT_EQ(readBack(file).size(), 2u);
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*), count(ended_ms) FROM readings, "
                                               "runs USING (run)")),
              QStringLiteral("2|0"));
    ASSERT_TRUE(first.finish());
    ASSERT_TRUE(second.open(runInfo(QStringLiteral("second"))));
    EXPECT_TRUE(second.finish());
}

// The writer commits on its own, within a second of a row's coming: the
// first row, and one handed over just after a commit.
TEST(SqliteLog, RowsAreCommittedWithinASecondWithoutBeingAsked) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.sqlite"));
    LogSqliteWriter w(file);
    ASSERT_TRUE(w.open(runInfo(QStringLiteral("x"))));
    for (const char* rows : {"1", "2"}) {
        w.append(reading(loggedRows()[0], kMoment, {}, {}));
        QElapsedTimer waited;
        waited.start();
        while (sqliteShell(file, QStringLiteral("SELECT count(*) FROM readings")) !=
                   QLatin1String(rows) &&
               waited.elapsed() < 30000) {
            QThread::msleep(20);
        }
        EXPECT_LT(waited.elapsed(), 30000) << "row " << rows << " was never committed";
    }
    EXPECT_EQ(w.run(), 1);
}

// A file that cannot take more (its size limit, as a full disk would):
// the rows wait, the failure is known, and they go in once it can.
TEST(SqliteLog, RowsWaitWhileTheFileCannotBeWrittenAndGoInLater) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.sqlite"));
    LogSqliteWriter w(file);
    ASSERT_TRUE(w.open(runInfo(QStringLiteral("x"))));
    w.append(reading(loggedRows()[0], kMoment, {}, {}));
    ASSERT_TRUE(w.commitNow());

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = static_cast<rlim_t>(QFileInfo(file + QStringLiteral("-wal")).size());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<LoggedReading> many;
    for (int i = 0; i < 2000; ++i) {
        many.push_back(reading(rec(i + 2, "21:05:04", "DC", "012.3", "V", "pass"), kMoment + i,
                               MarkSet::of(Mark::LcdAuto), {}));
    }
    w.append(std::move(many));
    const LogFileResult failed = w.commitNow();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(failed);
    const LogSqliteWriter::Health h = w.health();
    EXPECT_TRUE(h.failing);
    EXPECT_FALSE(h.reason.isEmpty());
    EXPECT_EQ(h.waiting, 2000);
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*) FROM readings")),
              QStringLiteral("1"));

    ASSERT_TRUE(w.commitNow());
    EXPECT_FALSE(w.health().failing);
    EXPECT_EQ(w.health().waiting, 0);
    ASSERT_TRUE(w.finish());
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT count(*), max(no), count(DISTINCT run) "
                                               "FROM readings; PRAGMA integrity_check")),
              QStringLiteral("2001|2001|1\nok"));
}

struct ForeignCase {
    const char* name;
    // Makes the file (SQL for the sqlite3 shell, or bytes when `raw`).
    const char* content;
    bool raw;
    const char* reason;
};

void PrintTo(const ForeignCase& c, std::ostream* os) {
    *os << c.name;
}

class ForeignFile : public ::testing::TestWithParam<ForeignCase> {};

// A file that is not a log of this program is refused by the reader and
// the writer alike, with the reason, and left exactly as it was.
TEST_P(ForeignFile, IsRefusedAndLeftAsItWas) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("x.sqlite"));
    if (GetParam().raw) {
        writeAll(file, QByteArray(GetParam().content));
    } else {
        ASSERT_EQ(sqliteShell(file, QString::fromUtf8(GetParam().content)), QString());
    }
    const QByteArray before = digest(file);

    LogRowBuffer rows = bufferOf(sampleRows());
    const LogFileResult read = readLogSqlite(file, rows);
    EXPECT_FALSE(read);
    EXPECT_TRUE(read.reason.contains(QString::fromUtf8(GetParam().reason)))
        << read.reason.toStdString();
    EXPECT_EQ(rows.rowCount(), 0);

    LogSqliteWriter w(file);
    const LogFileResult write = w.open(runInfo(QStringLiteral("x")));
    EXPECT_FALSE(write);
    EXPECT_EQ(write.reason, read.reason);
    EXPECT_FALSE(saveLogSqlite(bufferOf(sampleRows()), file, {}));

    EXPECT_EQ(digest(file), before);
    EXPECT_FALSE(sideFilesLeft(file));
}

// A log of this version with what a hostile writer may have changed.
#define VELKOR_LOG_HEADER "PRAGMA application_id = 1447840594; PRAGMA user_version = 1; "

INSTANTIATE_TEST_SUITE_P(
    Files, ForeignFile,
    ::testing::Values(
        ForeignCase{"text", "No,Time\n1,09:05:03\n", true, "SQLite データベースではありません"},
        ForeignCase{"another_program", "CREATE TABLE notes (body TEXT);", false,
                    "ほかのプログラムの SQLite データベースです"},
        ForeignCase{"newer_version", "PRAGMA application_id = 1447840594; "
                                     "PRAGMA user_version = 2; CREATE TABLE runs (run);",
                    false, "新しい版の VELKOR が書いた記録です (形式 2"},
        ForeignCase{"no_readings", VELKOR_LOG_HEADER "CREATE TABLE runs (run);", false,
                    "表 runs が記録の形式と違います"},
        ForeignCase{"views_in_place_of_tables",
                    VELKOR_LOG_HEADER
                    "CREATE VIEW runs AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
                    "FROM r) SELECT n AS run FROM r; CREATE VIEW readings AS SELECT * FROM runs;",
                    false, "表 runs が記録の形式と違います"},
        ForeignCase{"generated_column",
                    VELKOR_LOG_HEADER "CREATE TABLE runs (run INTEGER PRIMARY KEY, x GENERATED "
                                      "ALWAYS AS (zeroblob(1000000000)));",
                    false, "表 runs が記録の形式と違います"}),
    [](const auto& info) { return std::string(info.param.name); });

// A log whose rows hold what this program never writes: refused as damaged,
// within the bounds on a value's length and a number's range.
TEST(SqliteLog, HostileValuesAreRefusedAsDamaged) {
    QTemporaryDir dir;
    for (const auto& [name, sql, reason] :
         {std::tuple{"huge_text", "UPDATE readings SET value = printf('%.*c', 3000000, 'x') "
                                  "WHERE id = 2",
                     "string or blob too big"},
          std::tuple{"huge_blob", "UPDATE readings SET time = zeroblob(5000000) WHERE id = 3",
                     "string or blob too big"},
          std::tuple{"number_out_of_range", "UPDATE readings SET no = 1 << 40 WHERE id = 1",
                     "32 ビットの整数"}}) {
        SCOPED_TRACE(name);
        const QString file = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".sqlite"));
        logRun(file, loggedRows(), QStringLiteral("x"));
        ASSERT_EQ(sqliteShell(file, QString::fromLatin1(sql)), QString());
        LogRowBuffer rows;
        const LogFileResult r = readLogSqlite(file, rows);
        EXPECT_FALSE(r);
        EXPECT_TRUE(r.reason.contains(QString::fromUtf8(reason))) << r.reason.toStdString();
        EXPECT_EQ(rows.rowCount(), 0);
    }
}

// A file cut short or with a page overwritten: refused, never a crash.
TEST(SqliteLog, DamagedFilesAreRefused) {
    QTemporaryDir dir;
    const QString whole = dir.filePath(QStringLiteral("whole.sqlite"));
    std::vector<LogRecord> many;
    for (int i = 0; i < 2000; ++i) {
        many.push_back(rec(i, "21:05:03", "DC", QString::number(i), "V", "pass"));
    }
    logRun(whole, many, QStringLiteral("x"));
    const QByteArray bytes = readAll(whole);
    ASSERT_GT(bytes.size(), 8 * 4096);
    const QString cut = dir.filePath(QStringLiteral("cut.sqlite"));
    writeAll(cut, bytes.left(bytes.size() / 2));
    QByteArray scribbled = bytes;
    for (qsizetype i = 3 * 4096; i < 4 * 4096; ++i) {
        scribbled[i] = static_cast<char>(i * 7);
    }
    const QString overwritten = dir.filePath(QStringLiteral("overwritten.sqlite"));
    writeAll(overwritten, scribbled);
    for (const QString& file : {cut, overwritten}) {
        LogRowBuffer rows;
        const LogFileResult r = readLogSqlite(file, rows);
        EXPECT_FALSE(r) << file.toStdString();
        EXPECT_TRUE(r.reason.startsWith(QStringLiteral("壊れています"))) << r.reason.toStdString();
        EXPECT_EQ(rows.rowCount(), 0);
    }
}

TEST(SqliteLog, ReadingLeavesTheFileAndItsFolderAsTheyWere) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.sqlite"));
    logRun(file, loggedRows(), QStringLiteral("x"));
    const QByteArray before = digest(file);
    const QDateTime modified = QFileInfo(file).lastModified();
    EXPECT_EQ(readBack(file).size(), loggedRows().size());
    EXPECT_EQ(digest(file), before);
    EXPECT_EQ(QFileInfo(file).lastModified(), modified);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("run.sqlite")});
}

TEST(SqliteLog, EmptyFilesAndNamesOfTheForm) {
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.sqlite"));
    writeAll(empty, {});
    LogRowBuffer rows;
    EXPECT_EQ(readLogSqlite(empty, rows).reason,
              QStringLiteral("VELKOR の記録ではありません (空のデータベースです)"));
    logRun(empty, loggedRows(), QStringLiteral("x")); // an empty file becomes a log
    EXPECT_EQ(readBack(empty).size(), loggedRows().size());

    for (const char* name : {"a.sqlite", "A.SQLITE", "a.db", "dir/a.Db"}) {
        EXPECT_TRUE(isSqliteName(QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"a.xml", "a.sqlite3", "a.db.xml", "sqlite", "a.dbx"}) {
        EXPECT_FALSE(isSqliteName(QString::fromLatin1(name))) << name;
    }
}

// The schema people query by is shown in the README and the man page as
// the file holds it.
TEST(SqliteLog, TheDocumentedSchemaIsTheOneWritten) {
    const auto indented = [](const char* sql) {
        QString out;
        for (const QString& line : QString::fromUtf8(sql).split(u'\n')) {
            out += QStringLiteral("    ") + line + u'\n';
        }
        return out;
    };
    const QString readme = QString::fromUtf8(readAll(QStringLiteral(VELKOR_SOURCE "/README.md")));
    EXPECT_TRUE(readme.contains(indented(sqlite::kRunsTable).chopped(1) + u';'));
    EXPECT_TRUE(readme.contains(indented(sqlite::kReadingsTable).chopped(1) + u';'));
    QString man =
        QString::fromUtf8(readAll(QStringLiteral(VELKOR_SOURCE "/packaging/man/velkor-cli.1")));
    man.replace(QStringLiteral("\\-"), QStringLiteral("-")).replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    EXPECT_TRUE(man.contains(QString::fromUtf8(sqlite::kRunsTable) + QStringLiteral(";\n") +
                             QString::fromUtf8(sqlite::kReadingsTable) + u';'));
}

} // namespace
