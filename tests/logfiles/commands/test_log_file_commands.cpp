// The save and open commands: dialogs, the way chosen by the extension,
// the messages, and the table after each.
#include "platform/headless/ScriptedMessageBoxes.h"
#include "record/LogTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/commands/LogFileCommands.h"
#include "logfiles/workbook/WorkbookTestSupport.h"
#include "support/FixedLocaleSource.h"
#include "support/ScriptedLogFileDialogs.h"
#include "support/SqliteShell.h"

#include <sys/stat.h>

using namespace velkor;
using namespace velkor::test;

namespace {

class LogFileCommandsTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    void save(const QString& name) {
        dialogs.answers.push_back(name);
        commands.saveasClick();
    }
    void open(const QString& name) {
        dialogs.answers.push_back(name);
        commands.SpeedButton2Click();
    }
    void expectOnlyBox(const QString& text, MessageBoxes::Icon icon) {
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, text);
        EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("VELKOR"));
        EXPECT_EQ(boxes.shown[0].icon, icon);
        EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
    }

    QTemporaryDir dir;
    VectorLogTable cds1{sampleRows()};
    ScriptedLogFileDialogs dialogs;
    ScriptedMessageBoxes boxes;
    FixedLocaleSource locale{QStringLiteral("."), {}, QLocale::c()};
    LogFileCommands commands{cds1, dialogs, boxes, locale};
};

TEST_F(LogFileCommandsTest, DialogsAskWithTheirFiltersAndNames) {
    open(path("first.xml"));
    boxes.shown.clear();
    save(path("a.xml"));
    open(path("a.xml"));
    commands.SpeedButton2Click(); // cancelled
    save(path("b.xml"));

    ASSERT_EQ(dialogs.shown.size(), 5u);
    for (const auto& s : dialogs.shown) {
        if (s.save) {
            EXPECT_EQ(
                s.options.filter,
                QStringLiteral("Excel File(*.xls)|*.xls|XML(*.xml)|*.xml|Txt File(*.txt)|*.txt|"
                               "CSV File(*.csv)|*.csv|SQLite(*.sqlite;*.db)|*.sqlite;*.db"));
            EXPECT_EQ(s.options.defaultExtension, QStringLiteral("xls"));
            EXPECT_TRUE(s.options.confirmOverwrite);
            EXPECT_TRUE(s.options.fileName.isEmpty());
        } else {
            EXPECT_EQ(
                s.options.filter,
                QStringLiteral("Excel File(*.xls)|*.xls|XML (*.xml)|*.xml|Txt File(*.txt)|*.txt|"
                               "SQLite(*.sqlite;*.db)|*.sqlite;*.db"));
            EXPECT_TRUE(s.options.defaultExtension.isEmpty());
            EXPECT_FALSE(s.options.confirmOverwrite);
        }
    }
    // The open dialog starts with the name chosen last.
    EXPECT_EQ(dialogs.shown[0].options.fileName, QString());
    EXPECT_EQ(dialogs.shown[2].options.fileName, path("first.xml"));
    EXPECT_EQ(dialogs.shown[3].options.fileName, path("a.xml"));
}

TEST_F(LogFileCommandsTest, CancelledDialogsDoNothing) {
    commands.saveasClick();
    commands.SpeedButton2Click();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(cds1.changes, 0);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

struct WayCase {
    const char* name;
    bool xml;
};

void PrintTo(const WayCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveWay : public LogFileCommandsTest, public ::testing::WithParamInterface<WayCase> {};

TEST_P(SaveWay, ExactlyDotXmlIsAnXmlPacketAllElseAWorkbook) {
    QDir(dir.path()).mkdir(QStringLiteral("dir.xml"));
    const QString file = path(GetParam().name);
    save(file);
    expectOnlyBox(file + QStringLiteral("に保存"), MessageBoxes::Icon::Information);
    const QByteArray head = readAll(file).left(5);
    EXPECT_EQ(head, GetParam().xml ? QByteArray("<?xml") : QByteArray("PK\x03\x04\x14"));
    EXPECT_EQ(LogFileCommands::isXmlName(file), GetParam().xml);
}

INSTANTIATE_TEST_SUITE_P(Names, SaveWay,
                         ::testing::Values(WayCase{"log.xml", true}, WayCase{"log.XML", false},
                                           WayCase{"log.Xml", false}, WayCase{"log.xls", false},
                                           WayCase{"log.txt", false}, WayCase{"log", false},
                                           WayCase{"log.xml.bak", false},
                                           WayCase{"dir.xml/log", false}),
                         [](const auto& info) {
                             QString n = QString::fromUtf8(info.param.name);
                             return n.replace(u'.', u'_').replace(u'/', u'_').toStdString();
                         });

TEST_F(LogFileCommandsTest, OpeningXmlReplacesTheRowsSilently) {
    save(path("log.xml"));
    cds1.rows = {rec(50, "10:00:00", "AC", "1", "V", "pass")};
    boxes.shown.clear();
    open(path("log.xml"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(show(cds1.rows), show(sampleRows()));
}

TEST_F(LogFileCommandsTest, OpeningAWorkbookAppendsItsRows) {
    save(path("log.txt")); // a workbook under a .txt name
    cds1.rows = {rec(50, "10:00:00", "AC", "1", "V", "pass")};
    boxes.shown.clear();
    open(path("log.txt"));
    expectOnlyBox(QStringLiteral("インポートに成功しました"), MessageBoxes::Icon::Information);
    EXPECT_EQ(show(cds1.rows), show({rec(50, "10:00:00", "AC", "1", "V", "pass"),
                                     rec(1, "09:05:03", "DC", "12.3", "V", "pass"),
                                     rec(2, "09:05:04", "AC", "-0.456", "mV", "Fail"),
                                     rec(4, "23:59:59", "OHM", "1.234", "k*", "pass"),
                                     rec(5, "00:00:00", "TEMP", "25", "#", "pass")}));
}

TEST_F(LogFileCommandsTest, HeaderOnlyWorkbookSucceedsWithoutRows) {
    cds1.rows.clear();
    save(path("empty.xls"));
    expectOnlyBox(path("empty.xls") + QStringLiteral("に保存"), MessageBoxes::Icon::Information);
    cds1.rows = sampleRows();
    boxes.shown.clear();
    open(path("empty.xls"));
    expectOnlyBox(QStringLiteral("インポートに成功しました"), MessageBoxes::Icon::Information);
    EXPECT_EQ(cds1.changes, 0);
}

TEST_F(LogFileCommandsTest, SevenColumnsImportNothingAndSayNothing) {
    writeWorkbook(path("seven.xls"), {{"No.", "時間", "機能", "数値", "単位", "判定", "メモ"},
                                      {1.0, 0.5, "DC", 1.0, "V", "pass", "x"}});
    open(path("seven.xls"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(cds1.changes, 0);
}

struct FailureCase {
    const char* name;
    QByteArray content; // written unless missing
    bool missing;
    const char* message; // %1: the file
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class OpenFailure : public LogFileCommandsTest,
                    public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OpenFailure, NamesTheFileAndTheReasonAndKeepsTheTable) {
    const QString file = path(GetParam().name);
    if (!GetParam().missing) {
        writeAll(file, GetParam().content);
    }
    open(file);
    ASSERT_EQ(boxes.shown.size(), 1u);
    const auto& box = boxes.shown[0];
    EXPECT_TRUE(box.text.startsWith(QString::fromUtf8(GetParam().message).arg(file) + u'\n'))
        << box.text.toStdString();
    EXPECT_GT(box.text.size(), QString::fromUtf8(GetParam().message).arg(file).size() + 1);
    EXPECT_EQ(box.caption, QStringLiteral("VELKOR"));
    EXPECT_EQ(box.icon, MessageBoxes::Icon::Error);
    EXPECT_EQ(cds1.changes, 0);
    EXPECT_EQ(show(cds1.rows), show(sampleRows()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFailure,
    ::testing::Values(
        FailureCase{"missing.xml", {}, true, "%1を開くことができませんでした。"},
        FailureCase{"missing.xls", {}, true, "%1をインポートできませんでした。"},
        FailureCase{"text.xls", "No.\t時間\n", false, "%1をインポートできませんでした。"},
        FailureCase{"book.xml", "PK\x03\x04", false, "%1を開くことができませんでした。"},
        FailureCase{"truncated.xls", "PK\x03\x04\x14\x00\x00\x00\x08\x00", false,
                    "%1をインポートできませんでした。"},
        FailureCase{"missing.sqlite", {}, true, "%1を開くことができませんでした。"},
        FailureCase{"text.db", "No,Time\n", false, "%1を開くことができませんでした。"}),
    [](const auto& info) {
        return QString::fromUtf8(info.param.name).replace(u'.', u'_').toStdString();
    });

// A pipe nobody writes is refused at once, never waited on.
TEST_F(LogFileCommandsTest, OpeningAPipeIsRefusedAtOnce) {
    for (const auto& [name, message] :
         {std::pair{"pipe.xml", "%1を開くことができませんでした。\n通常のファイルではありません"},
          std::pair{"pipe.xls",
                    "%1をインポートできませんでした。\n通常のファイルではありません"},
          std::pair{"pipe.sqlite",
                    "%1を開くことができませんでした。\n通常のファイルではありません"}}) {
        const QString file = path(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        boxes.shown.clear();
        open(file);
        ASSERT_EQ(boxes.shown.size(), 1u) << name;
        EXPECT_EQ(boxes.shown[0].text, QString::fromUtf8(message).arg(file));
        EXPECT_EQ(cds1.changes, 0);
    }
}

TEST_F(LogFileCommandsTest, FailedSavesAreToldAndNotReportedAsSaved) {
    int saved = 0;
    commands.onSaved = [&] { ++saved; };
    for (const char* name : {"none/log.xml", "none/log.xls", "none/log.csv", "none/log.sqlite"}) {
        boxes.shown.clear();
        save(path(name));
        ASSERT_EQ(boxes.shown.size(), 1u) << name;
        EXPECT_TRUE(boxes.shown[0].text.startsWith(path(name) +
                                                   QStringLiteral("に保存できませんでした。\n")))
            << boxes.shown[0].text.toStdString();
        EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::Error);
    }
    EXPECT_EQ(saved, 0);
}

// ----- CSV --------------------------------------------------------------------

TEST_F(LogFileCommandsTest, ANameEndingInCsvInAnyCaseIsSavedAsCsvWithTheDatesKnown) {
    int saved = 0;
    commands.onSaved = [&] { ++saved; };
    commands.rowDates = [](qsizetype row) { return row == 0 ? QDate(2026, 12, 10) : QDate(); };
    for (const char* name : {"log.csv", "LOG.CSV"}) {
        boxes.shown.clear();
        const QString file = path(name);
        save(file);
        expectOnlyBox(file + QStringLiteral("に保存"), MessageBoxes::Icon::Information);
        const QList<QByteArray> lines = readAll(file).split('\n');
        ASSERT_EQ(lines.size(), 1 + 4 + 1) << name;
        EXPECT_EQ(lines[0], QByteArray("No,Date,Time,Function,Value,Unit,Judge,SI\r"));
        EXPECT_EQ(lines[1], QByteArray("1,2026-12-10,09:05:03,DC,012.3,V,pass,12.3\r"));
        EXPECT_EQ(lines[3], QByteArray("4,,23:59:59,OHM,1.234,k\xCE\xA9,pass,1234\r"));
        EXPECT_EQ(lines[4], QByteArray("5,,00:00:00,TEMP,25.0,\xC2\xB0"
                                       "C,pass,25\r"));
    }
    EXPECT_EQ(saved, 2);
    EXPECT_EQ(rowsOf(cds1), sampleRows()) << "the log stays as it was";
}

TEST_F(LogFileCommandsTest, EverySuccessfulSaveIsToldToTheListener) {
    int saved = 0;
    commands.onSaved = [&] { ++saved; };
    save(path("a.xml"));
    save(path("a.xls"));
    save(path("a.csv"));
    commands.saveasClick(); // cancelled
    EXPECT_EQ(saved, 3);
}

// ----- SQLite -------------------------------------------------------------------

// A save adds the log to the file as a run, described by the window; an
// open takes every run of the file in the place of the rows.
TEST_F(LogFileCommandsTest, SqliteSavesAddRunsAndAnOpenTakesThemAll) {
    int described = 0;
    commands.describeRun = [&] {
        ++described;
        LogRunInfo run;
        run.program = QStringLiteral("velkor 1.0.0");
        run.variant = QStringLiteral("IFHALVIN");
        run.limitHi = QStringLiteral("12.5");
        run.samplingSeconds = 2;
        return run;
    };
    const QString file = path("log.sqlite");
    save(file);
    cds1.rows = {rec(50, "10:00:00", "AC", "1", "V", "pass")};
    save(path("LOG.SQLITE")); // the same file in another case is another file here
    save(file);
    EXPECT_EQ(described, 3);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2].text, file + QStringLiteral("に保存"));
    EXPECT_EQ(sqliteShell(file, QStringLiteral("SELECT run, program, limit_hi, sampling_s, "
                                               "count(id) FROM runs JOIN readings USING (run) "
                                               "GROUP BY run; PRAGMA integrity_check")),
              QStringLiteral("1|velkor 1.0.0|12.5|2|4\n2|velkor 1.0.0|12.5|2|1\nok"));

    boxes.shown.clear();
    open(file);
    EXPECT_TRUE(boxes.shown.empty());
    std::vector<LogRecord> both = sampleRows();
    both.push_back(rec(50, "10:00:00", "AC", "1", "V", "pass"));
    EXPECT_EQ(show(cds1.rows), show(both));
}

TEST_F(LogFileCommandsTest, ASqliteFileOfAnotherProgramIsNeitherSavedIntoNorOpened) {
    const QString file = path("notes.db");
    ASSERT_EQ(sqliteShell(file, QStringLiteral("CREATE TABLE notes (body TEXT)")), QString());
    const QByteArray before = readAll(file);
    save(file);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              file + QStringLiteral("に保存できませんでした。\nVELKOR の記録ではありません "
                                    "(ほかのプログラムの SQLite データベースです)"));
    EXPECT_EQ(readAll(file), before);
    boxes.shown.clear();
    open(file);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(file + QStringLiteral("を開くことができませんでした。")));
    EXPECT_EQ(cds1.changes, 0);
}

} // namespace
