// Rows no file holds are never dropped without the user knowing: closing,
// New and opening an XML file in their place ask whether to save them
// first, and each answer does what it says, the journal keeping the rows
// until the user has chosen. Where nothing is unsaved the plain questions
// stay (and opening asks nothing); importing a workbook adds rows and asks
// nothing.

#include "app/JournalTestSupport.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/sqlite/LogSqliteJournal.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "pipeline/MeterSession.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "record/LogTestSupport.h"
#include "support/EventPump.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;
using Answer = MessageBoxes::Answer;

namespace {

const QStringList kButtons = {QStringLiteral("保存する(&S)"), QStringLiteral("保存しない(&N)"),
                              QStringLiteral("キャンセル")};

enum class Action { Close, New, Open };

const char* nameOf(Action a) {
    switch (a) {
    case Action::Close: return "Close";
    case Action::New: return "New";
    case Action::Open: return "Open";
    }
    return "";
}

// The question each action asks about 3 unsaved rows.
QString questionOf(Action a) {
    const QString rows = QStringLiteral("保存されていない記録が3件あります。");
    switch (a) {
    case Action::Close: return rows + QStringLiteral("終了する前に保存しますか？");
    case Action::New: return rows + QStringLiteral("データをクリアする前に保存しますか？");
    case Action::Open:
        return rows + QStringLiteral("ファイルを開くと、今の記録はファイルの記録に置き換わります。"
                                     "開く前に保存しますか？");
    }
    return {};
}

// The folder comes before the window, which is made in its fixture's
// constructor.
struct Folder {
    QTemporaryDir dir;
};

// A window with its journal that has logged three readings, and an XML file
// of four other rows to open.
struct UnsavedWindow : Folder, WindowFixture {
    QString xmlFile;

    UnsavedWindow()
        : WindowFixture(MeterVariant::IFHALVIN, nullptr, dir.filePath(QStringLiteral("velkor"))) {
        for (int i = 0; i < 3; ++i) {
            send(journalReading(i));
        }
        xmlFile = path("other.xml");
        EXPECT_TRUE(saveLogXml(VectorLogTable(sampleRows()), xmlFile));
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    MeasurementTable& cds1() { return window->session().cds1; }
    void click(const char* button) {
        QTest::mouseClick(child<QToolButton>(button), Qt::LeftButton);
    }
    // Waits until the journal holds `rows` rows (committed within a
    // second); none when it has no file.
    bool journalHolds(qsizetype rows) const {
        return pumpUntil([&] {
            const QString file = window->journal->path();
            return (file.isEmpty() ? 0 : journalRows(file)) == rows;
        });
    }
    // Runs the action; true when the window closed.
    bool act(Action a) {
        switch (a) {
        case Action::Close: return window->close();
        case Action::New: click("RecordNew"); break;
        case Action::Open:
            // The open dialog comes first, before any save dialog.
            fileDialogs.answers.push_front(xmlFile);
            click("OpenDataFiles");
            break;
        }
        return false;
    }
    // Saves the log through saveas.
    void save(const char* name) {
        fileDialogs.answers.push_back(path(name));
        click("saveas");
    }
};

// How the save asked for by "保存する" goes.
enum class SaveGoes { NotAsked, Saved, Cancelled, Failed };

struct AnswerCase {
    const char* label;
    Answer answer;
    SaveGoes save;
    bool actionGoesOn;
};

const AnswerCase kAnswers[] = {
    {"Save", Answer::Save, SaveGoes::Saved, true},
    {"SaveCancelled", Answer::Save, SaveGoes::Cancelled, false},
    {"SaveFails", Answer::Save, SaveGoes::Failed, false},
    {"Discard", Answer::Discard, SaveGoes::NotAsked, true},
    {"Cancel", Answer::Cancel, SaveGoes::NotAsked, false},
};

void PrintTo(Action a, std::ostream* os) {
    *os << nameOf(a);
}
void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.label;
}

using UnsavedCase = std::tuple<Action, AnswerCase>;

class UnsavedQuestion : public ::testing::TestWithParam<UnsavedCase> {};

TEST_P(UnsavedQuestion, EachAnswerDoesWhatItSays) {
    const auto& [action, c] = GetParam();
    UnsavedWindow w;
    const std::vector<LogRecord> logged = rowsOf(w.cds1());
    ASSERT_TRUE(w.journalHolds(3));
    const QString journal = w.window->journal->path();

    w.boxes.answers = {c.answer};
    switch (c.save) {
    case SaveGoes::Saved: w.fileDialogs.answers.push_back(w.path("saved.xml")); break;
    case SaveGoes::Failed: w.fileDialogs.answers.push_back(w.path("none/saved.xml")); break;
    case SaveGoes::Cancelled: w.fileDialogs.answers.push_back(std::nullopt); break;
    case SaveGoes::NotAsked: break;
    }
    const bool closed = w.act(action);

    ASSERT_FALSE(w.boxes.shown.empty());
    const auto& asked = w.boxes.shown[0];
    EXPECT_EQ(asked.text, questionOf(action));
    EXPECT_EQ(asked.caption, QStringLiteral("インフォメーション"));
    EXPECT_EQ(asked.buttons, MessageBoxes::Buttons::Choices);
    EXPECT_EQ(asked.choices, kButtons);
    // The save dialog came only for "保存する" (and the open dialog before
    // the question when opening).
    const std::size_t dialogs = (action == Action::Open ? 1u : 0u) + (c.save != SaveGoes::NotAsked);
    EXPECT_EQ(w.fileDialogs.shown.size(), dialogs);
    if (c.save == SaveGoes::Saved) {
        LogRowBuffer saved;
        ASSERT_TRUE(loadLogXml(w.path("saved.xml"), saved));
        EXPECT_EQ(show(rowsOf(saved)), show(logged));
    }

    EXPECT_EQ(closed, action == Action::Close && c.actionGoesOn);
    if (!c.actionGoesOn) {
        // Nothing changed: the rows are in the log and in the journal.
        EXPECT_EQ(show(rowsOf(w.cds1())), show(logged));
        EXPECT_TRUE(w.journalHolds(3));
        // They are still unsaved: the next try asks again.
        w.boxes.shown.clear();
        w.boxes.answers = {Answer::Cancel};
        w.act(action);
        ASSERT_FALSE(w.boxes.shown.empty());
        EXPECT_EQ(w.boxes.shown[0].text, questionOf(action));
        return;
    }
    switch (action) {
    case Action::Close: EXPECT_FALSE(QFileInfo::exists(journal)); break;
    case Action::New:
        EXPECT_EQ(w.cds1().rowCount(), 0);
        EXPECT_TRUE(w.journalHolds(0));
        break;
    case Action::Open:
        EXPECT_EQ(show(rowsOf(w.cds1())), show(sampleRows()));
        EXPECT_TRUE(w.journalHolds(0));
        break;
    }
    if (action != Action::Close) {
        // Nothing is unsaved now: closing asks the plain question.
        w.boxes.shown.clear();
        w.boxes.answers = {Answer::No};
        EXPECT_FALSE(w.window->close());
        ASSERT_EQ(w.boxes.shown.size(), 1u);
        EXPECT_EQ(w.boxes.shown[0].text, QStringLiteral("プログラムを終了しますか？"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, UnsavedQuestion,
                         ::testing::Combine(::testing::Values(Action::Close, Action::New,
                                                              Action::Open),
                                            ::testing::ValuesIn(kAnswers)),
                         [](const auto& info) {
                             return std::string(nameOf(std::get<0>(info.param))) +
                                    std::get<1>(info.param).label;
                         });

// Once saved, the rows are safe: each action asks what it always asked.
TEST(Unsaved, SavedRowsLeaveThePlainQuestions) {
    using P = std::pair<Answer, bool>;
    for (const auto& [answer, goesOn] : {P{Answer::No, false}, P{Answer::Yes, true}}) {
        SCOPED_TRACE(goesOn);
        UnsavedWindow w;
        w.save("saved.xml");
        ASSERT_TRUE(w.journalHolds(0));
        w.boxes.shown.clear();

        w.boxes.answers = {answer};
        w.act(Action::New);
        ASSERT_EQ(w.boxes.shown.size(), 1u);
        EXPECT_EQ(w.boxes.shown[0].text, QStringLiteral("データをクリアしますか？"));
        EXPECT_EQ(w.boxes.shown[0].buttons, MessageBoxes::Buttons::YesNo);
        EXPECT_EQ(w.cds1().rowCount(), goesOn ? 0 : 3);

        w.boxes.shown.clear();
        w.act(Action::Open); // asks nothing
        EXPECT_TRUE(w.boxes.shown.empty()) << w.boxes.shown[0].text.toStdString();
        EXPECT_EQ(show(rowsOf(w.cds1())), show(sampleRows()));

        w.boxes.answers = {answer};
        EXPECT_EQ(w.act(Action::Close), goesOn);
        ASSERT_EQ(w.boxes.shown.size(), 1u);
        EXPECT_EQ(w.boxes.shown[0].text, QStringLiteral("プログラムを終了しますか？"));
        EXPECT_EQ(w.boxes.shown[0].buttons, MessageBoxes::Buttons::YesNo);
    }
}

// A workbook's rows are added after the log's: nothing is dropped, nothing
// asked; the logged rows stay unsaved.
TEST(Unsaved, ImportAddsRowsAndAsksNothing) {
    UnsavedWindow w;
    const QString book = w.path("book.xlsx");
    QString reason;
    ASSERT_EQ(exportLogWorkbook(VectorLogTable(sampleRows()), book, &reason),
              WorkbookExportStatus::Saved)
        << reason.toStdString();
    w.fileDialogs.answers.push_back(book);
    w.click("OpenDataFiles");
    ASSERT_EQ(w.boxes.shown.size(), 1u);
    EXPECT_EQ(w.boxes.shown[0].text, QStringLiteral("インポートに成功しました"));
    EXPECT_EQ(w.cds1().rowCount(), 7);
    EXPECT_TRUE(w.journalHolds(3));

    w.boxes.answers = {Answer::Cancel};
    EXPECT_FALSE(w.act(Action::Close));
    EXPECT_EQ(w.boxes.shown.back().text, questionOf(Action::Close));
}

// The real box: the buttons say what they do, "保存する" is the default
// and Esc cancels.
TEST(Unsaved, TheRealQuestionsButtonsAreJapaneseAndEscCancels) {
    RealBoxesWindow w;
    const std::uint8_t lineFeed = 0x0A;
    w.window.RECEIVE_COM_Data(&lineFeed, 1);
    const auto frame = journalReading(0).bytes();
    w.window.RECEIVE_COM_Data(frame.data(), static_cast<std::ptrdiff_t>(frame.size()));
    ASSERT_EQ(w.window.session().cds1.rowCount(), 1);

    bool closed = true;
    ShownBox shown = answerRealBox([&] { closed = w.window.close(); },
                                   [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_FALSE(closed);
    EXPECT_EQ(shown.text,
              QStringLiteral("保存されていない記録が1件あります。終了する前に保存しますか？"));
    shown.buttons.sort();
    QStringList want = kButtons;
    want.sort();
    EXPECT_EQ(shown.buttons, want);
    EXPECT_EQ(shown.byDefault, kButtons[0]);
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.window.session().cds1.rowCount(), 1);
}

} // namespace
