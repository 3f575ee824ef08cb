// The log as CSV: the header, the fields as a spreadsheet or a script reads
// them back (quoting, UTF-8, readable units, the value in the base unit, the
// date where it is known), a real CSV reader's view, and the file written
// whole in one step or not at all.
#include "disk/AtomicFile.h"
#include "logfiles/LogCsvFile.h"
#include "platform/posix/SystemErrorText.h"
#include "record/LogTestSupport.h"
#include "record/RowDates.h"
#include "record/Timestamp.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;

namespace {

using Rows = std::vector<QStringList>;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// RFC 4180, strictly: CRLF line ends, quoted fields with doubled quotes.
// Fails the test on anything else.
Rows parseCsv(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    EXPECT_EQ(text.toUtf8(), bytes) << "valid UTF-8";
    Rows rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == u'"') {
            EXPECT_TRUE(field.isEmpty() && !wasQuoted) << "a quote inside an unquoted field";
            quoted = wasQuoted = true;
        } else if (c == u',') {
            row.append(field);
            field.clear();
            wasQuoted = false;
        } else if (c == u'\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << "CR without LF";
            ++i;
            row.append(field);
            rows.push_back(row);
            row.clear();
            field.clear();
            wasQuoted = false;
        } else {
            EXPECT_NE(c, u'\n') << "a bare line feed outside quotes";
            field += c;
        }
    }
    EXPECT_FALSE(quoted);
    EXPECT_TRUE(row.isEmpty() && field.isEmpty()) << "the last line ends with CRLF";
    return rows;
}

// Rows with every text a CSV writer must take care of.
std::vector<LogRecord> awkwardRows() {
    return {rec(1, "21:05:03", "DC", "123.4", "mV", "pass"),
            rec(2, "21:05:04", "DC", "012,3", "V", "Fail"), // a "," point
            rec(std::nullopt, "9:05:03 PM", "OHM", "4.700", "k*", "pass"),
            rec(4, "21:05:05", "TMP", "0L", "#", "Fail"), // overload
            rec(5, "a \"quoted\" one", "AC", "-0.456", "uA", "x,y"),
            rec(6, "two\r\nlines", "CAP", "22.00", "uF", "合格"),
            rec(7, "", "", "", "", "")};
}

QStringList header() {
    return {"No", "Date", "Time", "Function", "Value", "Unit", "Judge", "SI"};
}

TEST(LogCsv, HeaderAndFieldsReadBackExactly) {
    VectorLogTable table(awkwardRows());
    RowDates dates;
    dates.noteLogged(0, QDate(2026, 12, 10));
    dates.noteLogged(1, QDate(2026, 12, 10));
    dates.noteLogged(3, QDate(2026, 12, 11)); // row 2 came from a file
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeLogCsv(table, out, [&](qsizetype r) { return dates.dateOf(r); }));
    const Rows rows = parseCsv(out.data());
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], header());
    const Rows want = {
        {"1", "2026-12-10", "21:05:03", "DC", "123.4", "mV", "pass", "0.1234"},
        {"2", "2026-12-10", "21:05:04", "DC", "012,3", "V", "Fail", "12.3"},
        {"", "", "9:05:03 PM", "OHM", "4.700", "kΩ", "pass", "4700"},
        {"4", "2026-12-11", "21:05:05", "TMP", "0L", "°C", "Fail", ""},
        {"5", "", "a \"quoted\" one", "AC", "-0.456", "µA", "x,y", "-0.000000456"},
        {"6", "", "two\r\nlines", "CAP", "22.00", "µF", "合格", "0.000022"},
        {"7", "", "", "", "", "", "", ""},
    };
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(rows[i + 1], want[i]) << "row " << i;
    }
    EXPECT_FALSE(out.data().startsWith("\xEF\xBB\xBF")) << "no byte order mark";
}

TEST(LogCsv, AnEmptyLogIsTheHeaderAlone) {
    VectorLogTable table;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeLogCsv(table, out));
    EXPECT_EQ(out.data(), QByteArray("No,Date,Time,Function,Value,Unit,Judge,SI\r\n"));
}

TEST(LogCsv, PythonsCsvModuleReadsTheSameFields) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        GTEST_SKIP() << "python3 is not installed";
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("log.csv"));
    VectorLogTable table(awkwardRows());
    ASSERT_TRUE(saveLogCsv(table, file));
    // Python gives the fields back between unit separators, rows between
    // record separators.
    QProcess p;
    p.start(python, {QStringLiteral("-c"),
                     QStringLiteral("import csv, sys\n"
                                    "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                    "    rows = list(csv.reader(f, strict=True))\n"
                                    "out = '\\x1e'.join('\\x1f'.join(r) for r in rows)\n"
                                    "sys.stdout.buffer.write(out.encode('utf-8'))\n"),
                     file});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    Rows python_rows;
    for (const QString& r : QString::fromUtf8(p.readAllStandardOutput()).split(QChar(0x1e))) {
        python_rows.push_back(r.split(QChar(0x1f)));
    }
    EXPECT_EQ(python_rows, parseCsv(readAll(file)));
    ASSERT_EQ(python_rows.size(), awkwardRows().size() + 1);
    EXPECT_EQ(python_rows[0], header());
    EXPECT_EQ(python_rows[6][2], QStringLiteral("two\r\nlines"));
}

TEST(LogCsv, NamesEndingInCsvInAnyCase) {
    EXPECT_TRUE(isCsvName(QStringLiteral("/tmp/log.csv")));
    EXPECT_TRUE(isCsvName(QStringLiteral("LOG.CSV")));
    EXPECT_FALSE(isCsvName(QStringLiteral("log.csv.xml")));
    EXPECT_FALSE(isCsvName(QStringLiteral("/tmp/x.csv/log")));
    EXPECT_FALSE(isCsvName(QStringLiteral("csv")));
}

// ----- The file written whole or not at all --------------------------------

struct CsvFile : ::testing::Test {
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    }
};

TEST_F(CsvFile, AFailingWriteLeavesTheOldFileAndNoTrace) {
    const QString file = path("log.csv");
    writeFile(file, "the old log\n");
    const LogFileResult r = writeFileAtomically(file, [](QIODevice& out) {
        out.write("half a new lo");
        return LogFileResult::failure(QStringLiteral("disk full"));
    });
    EXPECT_FALSE(r);
    EXPECT_EQ(r.reason, QStringLiteral("disk full"));
    EXPECT_EQ(readAll(file), QByteArray("the old log\n"));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("log.csv")});
}

TEST_F(CsvFile, ReplacesAFileKeepingItsModeAndWritesThroughALink) {
    const QString file = path("log.csv");
    writeFile(file, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    const QString link = path("latest.csv");
    ASSERT_TRUE(QFile::link(file, link));
    VectorLogTable table(sampleRows());
    ASSERT_TRUE(saveLogCsv(table, link));
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link stays a link";
    const QByteArray bytes = readAll(file);
    EXPECT_TRUE(bytes.startsWith("No,Date,Time")) << bytes.toStdString();
    EXPECT_EQ(parseCsv(bytes).size(), sampleRows().size() + 1);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(CsvFile, RefusesWhatIsNoRegularFile) {
    const QString fifo = path("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString sub = path("folder.csv");
    ASSERT_TRUE(QDir().mkdir(sub));
    VectorLogTable table(sampleRows());
    for (const QString& target : {fifo, sub, QStringLiteral("/dev/null")}) {
        const LogFileResult r = saveLogCsv(table, target);
        EXPECT_FALSE(r) << target.toStdString();
        EXPECT_EQ(r.reason, notRegularFileText());
    }
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/null is still the device";
    EXPECT_TRUE(QFileInfo(sub).isDir());
}

TEST_F(CsvFile, AMissingFolderIsTheSystemsReason) {
    VectorLogTable table(sampleRows());
    const LogFileResult r = saveLogCsv(table, path("none/log.csv"));
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.reason.isEmpty());
}

// ----- Row dates and timestamps -------------------------------------------

TEST(RowDates, RunsOfLoggedRowsAndGapsForRowsFromFiles) {
    RowDates d;
    const QDate day1(2026, 12, 10), day2(2026, 12, 11);
    d.noteLogged(0, day1);
    d.noteLogged(1, day1);
    d.noteLogged(2, day2); // midnight passed
    d.noteLogged(5, day2); // rows 3 and 4 were imported
    EXPECT_EQ(d.dateOf(0), day1);
    EXPECT_EQ(d.dateOf(1), day1);
    EXPECT_EQ(d.dateOf(2), day2);
    EXPECT_FALSE(d.dateOf(3).isValid());
    EXPECT_FALSE(d.dateOf(4).isValid());
    EXPECT_EQ(d.dateOf(5), day2);
    EXPECT_FALSE(d.dateOf(6).isValid());
    EXPECT_FALSE(d.dateOf(-1).isValid());
    // The table emptied behind its back: numbering starts again.
    d.noteLogged(0, day2);
    EXPECT_EQ(d.dateOf(0), day2);
    EXPECT_FALSE(d.dateOf(1).isValid());
    RowDates more;
    more.noteLogged(0, day1);
    more.noteLogged(1, day1);
    d.append(1, more);
    EXPECT_EQ(d.dateOf(1), day1);
    EXPECT_EQ(d.dateOf(2), day1);
    d.clear();
    EXPECT_TRUE(d.empty());
}

TEST(Timestamp, IsoWithMillisecondsAndTheOffset) {
    const QDateTime tokyo(QDate(2026, 12, 10), QTime(21, 5, 3, 120), QTimeZone(9 * 3600));
    EXPECT_EQ(isoTimestamp(tokyo), QStringLiteral("2026-12-10T21:05:03.120+09:00"));
    const QDateTime utc(QDate(2026, 1, 2), QTime(3, 4, 5, 6), QTimeZone::utc());
    EXPECT_EQ(isoTimestamp(utc), QStringLiteral("2026-01-02T03:04:05.006+00:00"));
    const QDateTime west(QDate(2026, 7, 1), QTime(0, 0), QTimeZone(-(3 * 3600 + 30 * 60)));
    EXPECT_EQ(isoTimestamp(west), QStringLiteral("2026-07-01T00:00:00.000-03:30"));
    EXPECT_EQ(isoTimestamp(QDateTime()), QString());
    for (const QDateTime& m : {tokyo, utc, west}) {
        const QDateTime back = parseIsoTimestamp(isoTimestampUtf8(m));
        EXPECT_EQ(back, m);
        EXPECT_EQ(back.offsetFromUtc(), m.offsetFromUtc());
    }
    EXPECT_EQ(parseIsoTimestamp("2026-01-02T03:04:05.006Z"), utc);
    // The moment as Unix time and offset, the civil date worked out by hand:
    // as Qt writes it, over leap years, centuries, before 1970 and at the
    // ends of the years written.
    const QDate days[] = {QDate(1, 1, 1),     QDate(1600, 2, 29), QDate(1700, 2, 28),
                          QDate(1900, 3, 1),  QDate(1969, 12, 31), QDate(1970, 1, 1),
                          QDate(2000, 2, 29), QDate(2024, 12, 31), QDate(2100, 3, 1),
                          QDate(9999, 12, 31)};
    for (const QDate& day : days) {
        for (const int offset : {0, 9 * 3600, -(3 * 3600 + 30 * 60), 14 * 3600}) {
            for (const QTime& time : {QTime(0, 0), QTime(23, 59, 59, 999), QTime(12, 3, 4, 5)}) {
                const QDateTime m(day, time, QTimeZone(offset));
                SCOPED_TRACE(m.toString(Qt::ISODateWithMs).toStdString());
                const int minutes = std::abs(offset) / 60;
                const QString zone = QStringLiteral("%1%2:%3")
                                         .arg(QChar(offset < 0 ? u'-' : u'+'))
                                         .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                                         .arg(minutes % 60, 2, 10, QLatin1Char('0'));
                EXPECT_EQ(isoTimestampUtf8(m.toMSecsSinceEpoch(), offset),
                          (m.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + zone).toLatin1());
            }
        }
    }
    EXPECT_EQ(isoTimestampUtf8(QDateTime(QDate(-1, 12, 31), QTime(23, 59), QTimeZone::utc())
                                   .toMSecsSinceEpoch(),
                               0),
              QByteArray());
    EXPECT_EQ(isoTimestampUtf8(QDateTime(QDate(10000, 1, 1), QTime(0, 0), QTimeZone::utc())
                                   .toMSecsSinceEpoch(),
                               0),
              QByteArray());
    // An offset with seconds (a local mean time): the same instant in UTC.
    const QDateTime lmt(QDate(1880, 1, 1), QTime(12, 0), QTimeZone(9 * 3600 + 18 * 60 + 59));
    EXPECT_EQ(isoTimestamp(lmt), QStringLiteral("1880-01-01T02:41:01.000+00:00"));
    EXPECT_EQ(parseIsoTimestamp(isoTimestampUtf8(lmt)), lmt);
    EXPECT_EQ(isoTimestampUtf8(lmt.toMSecsSinceEpoch(), lmt.offsetFromUtc()),
              isoTimestampUtf8(lmt));
    for (const char* bad : {"", "2026-01-02 03:04:05.006Z", "2026-13-02T03:04:05.006Z",
                            "2026-01-02T03:04:05.006+24:00", "2026-01-02T03:04:05,006Z"}) {
        EXPECT_FALSE(parseIsoTimestamp(bad).isValid()) << bad;
    }
}

} // namespace
