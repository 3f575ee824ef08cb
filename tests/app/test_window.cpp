// The main window: caption and start values per variant, fixed geometry,
// every control at its place with its start state, the close query and the
// error boundary.

#include "app/ErrorBox.h"
#include "app/MeterPanel.h"
#include "app/VelkorApplication.h"
#include "app/WindowTestSupport.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/widgets/QtMessageBoxes.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace velkor;
using velkor::test::answerRealBox;
using velkor::test::RealBoxesWindow;
using velkor::test::ShownBox;
using velkor::test::WindowFixture;

namespace {

struct VariantCase {
    MeterVariant variant;
    const char* caption;
    const char* firstDigit;
    const char* minText;
    const char* maxText;
};

const VariantCase kVariantCases[] = {
    {MeterVariant::IFCASTEM, "BRANLO Interface Program _Ver: 2.00", "3", "4001", "-4001"},
    {MeterVariant::IFMIRELO, "MIRELO USB Interface Program _Ver: 1.00", "5", "4001", "-4001"},
    {MeterVariant::IFDORVAN, "VELKOR Interface Program _Ver: 2.06", "5", "3401", "-3401"},
    {MeterVariant::IFFENWIK, "FENWIK USB Interface Program _Ver: 1.00", "5", "4001", "-4001"},
    {MeterVariant::IFGORSEL, "GORSEL USB Interface Program _Ver: 1.00", "5", "4001", "-4001"},
    {MeterVariant::IFHALVIN, "MELDRA for VELKOR_Ver.1.00", "5", "6001", "-6001"},
};

TEST(Window, CaptionAndDisplayStartPerVariant) {
    for (const VariantCase& c : kVariantCases) {
        SCOPED_TRACE(variantName(c.variant));
        WindowFixture f(c.variant);
        EXPECT_EQ(f.window->windowTitle(), QString::fromUtf8(c.caption));
        EXPECT_EQ(f.window->objectName(), QStringLiteral("FCOMM"));
        EXPECT_EQ(f.child<QLabel>("LcdDa")->text(), QString::fromLatin1(c.firstDigit));
        EXPECT_EQ(f.child<QLabel>("LcdDb")->text(), QStringLiteral("9"));
        EXPECT_EQ(f.child<QLabel>("LcdDc")->text(), QStringLiteral("9"));
        EXPECT_EQ(f.child<QLabel>("LcdDd")->text(), QStringLiteral("9"));
        EXPECT_EQ(f.child<QLabel>("MinText")->text(), QString::fromLatin1(c.minText));
        EXPECT_EQ(f.child<QLabel>("MaxText")->text(), QString::fromLatin1(c.maxText));
        EXPECT_TRUE(f.boxes.shown.empty());
    }
}

TEST(Window, ApplicationTitle) {
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("VELKOR"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("VELKOR"));
}

TEST(Window, FixedSizeCentredWithoutMaximise) {
    WindowFixture f;
    TFCOMM& w = *f.window;
    EXPECT_EQ(w.centralWidget()->size(), QSize(663, 509));
    EXPECT_EQ(w.centralWidget()->y(), w.menuBar()->height());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(w.size(), QSize(663, 509 + w.menuBar()->height()));
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    EXPECT_LE((w.frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

struct Place {
    const char* name;
    const char* parent; // the widget the rectangle is relative to
    QRect rect;
};

const Place kPlaces[] = {
    {"Panel5", "client", {0, 0, 663, 32}},
    {"BtCOM1", "Panel5", {5, 3, 61, 24}},
    {"BtCOM2", "Panel5", {5, 3, 61, 24}},
    {"BtCOM3", "Panel5", {5, 3, 61, 24}},
    {"BtCOM4", "Panel5", {5, 3, 61, 24}},
    {"COMCon", "Panel5", {76, 3, 125, 25}},
    {"USBCon", "Panel5", {203, 3, 158, 25}},
    {"BitBtn1", "Panel5", {563, 3, 86, 25}},
    {"Panel1", "client", {5, 36, 302, 162}},
    {"PBar2", "client", {5, 197, 302, 17}},
    {"Panel2", "client", {4, 216, 305, 41}},
    {"DBGrid1", "client", {4, 264, 303, 241}},
    {"Panel4", "client", {308, 34, 351, 116}},
    {"T1HI", "Panel4", {113, 12, 57, 22}},
    {"T1VALUE", "Panel4", {112, 43, 81, 32}},
    {"T1LO", "Panel4", {112, 84, 57, 22}},
    {"Shape1", "Panel4", {192, 8, 113, 97}},
    {"CONok", "Panel4", {310, 13, 25, 24}},
    {"CONokN", "Panel4", {310, 13, 25, 20}},
    {"TntPanel1", "client", {308, 149, 351, 41}},
    {"Chtshow", "client", {309, 189, 350, 316}},
    {"LcdFH", "Panel1", {5, 36, 28, 112}},
    {"LcdDa", "Panel1", {41, 29, 38, 112}},
    {"LcdDb", "Panel1", {88, 28, 38, 112}},
    {"LcdDc", "Panel1", {136, 28, 38, 112}},
    {"LcdDd", "Panel1", {184, 28, 38, 112}},
    {"LcdP1", "Panel1", {79, 113, 7, 8}},
    {"LcdP2", "Panel1", {127, 113, 7, 8}},
    {"LcdP3", "Panel1", {176, 113, 9, 8}},
    {"LcdAC", "Panel1", {6, 46, 31, 23}},
    {"LcdDc1", "Panel1", {5, 46, 32, 23}},
    {"LcdAuto", "Panel1", {56, 131, 88, 17}},
    {"LCDHold", "Panel1", {8, 102, 19, 39}},
    {"LCDREL", "Panel1", {129, 10, 24, 24}},
    {"Labmax", "Panel1", {52, 18, 35, 19}},
    {"Labmin", "Panel1", {92, 18, 29, 19}},
    {"LCDBATT", "Panel1", {256, -1, 12, 39}},
    {"LCDDI", "Panel1", {176, 9, 31, 32}},
    {"LCDFm", "Panel1", {176, 8, 25, 36}},
    {"LCDn", "Panel1", {208, 10, 13, 27}},
    {"LCDu", "Panel1", {208, 3, 16, 36}},
    {"Lcdm", "Panel1", {208, 9, 20, 27}},
    {"LCDk", "Panel1", {238, 76, 12, 27}},
    {"LCDM1", "Panel1", {238, 81, 16, 21}},
    {"LcdV", "Panel1", {232, 11, 16, 27}},
    {"LCDA", "Panel1", {232, 10, 16, 27}},
    {"LCDF", "Panel1", {232, 10, 15, 27}},
    {"LCDohm", "Panel1", {264, 81, 13, 21}},
    {"LCDHz", "Panel1", {248, 98, 29, 27}},
    {"LCDBF", "Panel1", {248, 40, 19, 23}},
    {"LCDCS", "Panel1", {240, 57, 18, 27}},
    {"LCDFS", "Panel1", {256, 57, 17, 27}},
    {"LCDsend", "Panel1", {5, 4, 36, 29}},
    {"LcdRPM", "Panel1", {166, 131, 39, 17}},
    {"LCDBT", "Panel1", {232, 97, 11, 39}},
    {"EF", "Panel1", {153, 9, 24, 25}},
    {"LCDRec", "Panel1", {8, 211, 19, 36}},
    {"LCDpower", "Panel1", {261, 10, 28, 29}},
    {"LcdACDC", "Panel1", {5, 46, 31, 23}},
    {"LCDRS", "Panel1", {190, 187, 80, 21}},
};

TEST(Window, ControlsAtTheirPlaces) {
    WindowFixture f;
    for (const Place& p : kPlaces) {
        SCOPED_TRACE(p.name);
        QWidget* w = f.child(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(p.parent));
        EXPECT_EQ(w->geometry(), p.rect);
    }
    // The judge panel's labels are placed by their left and top.
    for (const auto& [name, x, y] : {std::tuple{"T1_HI", 16, 16}, std::tuple{"T1_Value", 16, 52},
                                     std::tuple{"T1_LO", 16, 84}, std::tuple{"judge", 216, 40}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(f.child(name)->pos(), QPoint(x, y));
    }
}

struct StartState {
    const char* name;
    const char* text; // nullptr: not compared
    bool shown;
};

const StartState kStartStates[] = {
    {"BtCOM1", "COM 1", true},   {"BtCOM2", "COM 2", false},  {"BtCOM3", "COM 3", false},
    {"BtCOM4", "COM 4", false},  {"COMCon", "COM接続", true}, {"USBCon", "USB接続", true},
    {"BitBtn1", "閉じる", true}, {"RepeatSet", "連続", true}, {"RecordSI", "サンプリング", true},
    {"RecordSITime", "1", true}, {"Label4", "S", true},       {"T1_HI", "上限設定", true},
    {"T1HI", "6000", true},      {"T1_Value", "測定値", true}, {"T1VALUE", "0", true},
    {"T1_LO", "下限設定", true}, {"T1LO", "-6000", true},     {"judge", "", true},
    {"CONok", nullptr, false},   {"CONokN", nullptr, true},   {"BtFill", "Fill ", true},
    {"Maxrecord", "100", true},  {"Bt10", "1", true},         {"TbFd", nullptr, true},
    {"TbSx", nullptr, false},    {"RecordNew", nullptr, true}, {"OpenDataFiles", nullptr, true},
    {"saveas", nullptr, true},   {"BtPrint", nullptr, true},  {"BtSave", nullptr, true},
    {"BtFirst", nullptr, true},  {"BTPrevious", nullptr, true}, {"BtNext", nullptr, true},
    {"BTlast", nullptr, true},   {"Panel3", nullptr, false},  {"systeminfomation", ".", false},
    {"ComboBox1", nullptr, false}, {"Label11", "MIN: ", true}, {"Label12", "MAX: ", true},
    {"MinTextU", "*", true},     {"MaxTextU", "*", true},     {"LcdFH", "-", true},
    {"LCDsend", nullptr, false}, {"LcdAuto", "Auto range", false}, {"LCDHold", "\"", false},
};

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return {};
}

TEST(Window, ControlsStartState) {
    WindowFixture f;
    for (const StartState& s : kStartStates) {
        SCOPED_TRACE(s.name);
        QWidget* w = f.child(s.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(!w->isHidden(), s.shown);
        if (s.text) {
            EXPECT_EQ(textOf(w), QString::fromUtf8(s.text));
        }
    }
    EXPECT_TRUE(f.child<QCheckBox>("RepeatSet")->isChecked());
    EXPECT_FALSE(f.child<QCheckBox>("RecordSI")->isChecked());
    EXPECT_TRUE(f.child<QCheckBox>("BtFill")->isChecked());
    EXPECT_TRUE(f.child<QPushButton>("COMCon")->isCheckable());
    EXPECT_FALSE(f.child<QPushButton>("COMCon")->isChecked());
    EXPECT_TRUE(f.child<QPushButton>("USBCon")->isCheckable());
    EXPECT_FALSE(f.child<QPushButton>("USBCon")->isChecked());
    EXPECT_EQ(f.child("T1HI")->toolTip(), QStringLiteral("Please enter a number here."));
    EXPECT_EQ(f.child("T1LO")->toolTip(), QStringLiteral("Please enter a number here."));
    EXPECT_EQ(f.child("RepeatSet")->toolTip(), QStringLiteral("Repeage Record"));
    EXPECT_EQ(f.child("RecordNew")->toolTip(), QStringLiteral("新規"));
    EXPECT_EQ(f.child("OpenDataFiles")->toolTip(), QStringLiteral("開く"));
    EXPECT_EQ(f.child("saveas")->toolTip(), QStringLiteral("保存"));
    EXPECT_EQ(f.child("BtPrint")->toolTip(), QStringLiteral("印刷プレビュー"));
    EXPECT_EQ(f.child("BtFill")->toolTip(), QStringLiteral("Graphic Fill"));
    EXPECT_EQ(f.child("TbFd")->toolTip(), QStringLiteral("Graphic Enlarge"));
    EXPECT_EQ(f.child("TbSx")->toolTip(), QStringLiteral("Graphic Restore"));
    EXPECT_EQ(f.child<QProgressBar>("PBar2")->maximum(), 60);
    EXPECT_EQ(f.child<QProgressBar>("PBar2")->value(), 30);
}

TEST(Window, Timers) {
    WindowFixture f;
    const struct {
        const char* name;
        int interval;
        bool active;
    } timers[] = {{"ConTimer", 100, true}, {"Timer1", 500, false}, {"Timer4", 500, false},
                  {"Timer3", 1000, false}, {"Timer2", 1000, true}, {"Trecord", 1000, false}};
    for (const auto& t : timers) {
        SCOPED_TRACE(t.name);
        auto* timer = f.window->findChild<QTimer*>(QString::fromLatin1(t.name));
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->interval(), t.interval);
        EXPECT_EQ(timer->isActive(), t.active);
    }
}

TEST(Window, RecordMenu) {
    WindowFixture f;
    const QList<QAction*> menus = f.window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("記録"));
    const QList<QAction*> items = menus[0]->menu()->actions();
    const char* names[] = {"N10001", "N50001", "N100001", "N500001", "N1000001", "limitess"};
    const char* captions[] = {"1000", "5000", "10000", "50000", "100000", "無制限"};
    // The six size limits, then the statistics and the alarm sound.
    ASSERT_EQ(items.size(), 9);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(items[i]->objectName(), QString::fromLatin1(names[i]));
        EXPECT_EQ(items[i]->text(), QString::fromUtf8(captions[i]));
        EXPECT_EQ(items[i]->isChecked(), i == 2);
    }
    EXPECT_TRUE(items[6]->isSeparator());
    EXPECT_EQ(items[7]->objectName(), QStringLiteral("RecordStats"));
    EXPECT_EQ(items[7]->text(), QStringLiteral("統計"));
    EXPECT_FALSE(items[7]->isCheckable());
    EXPECT_EQ(items[8]->objectName(), QStringLiteral("FailSound"));
    EXPECT_EQ(items[8]->text(), QStringLiteral("Fail時に警告音"));
    EXPECT_TRUE(items[8]->isCheckable());
    EXPECT_FALSE(items[8]->isChecked());
}

// ----- Closing -------------------------------------------------------------

// Every button that shows only a picture carries its hint as tooltip and as
// the name a screen reader reads.
TEST(Window, PictureButtonsAreNamedByTheirHints) {
    WindowFixture f;
    const struct {
        const char* name;
        const char* hint;
    } buttons[] = {
        {"RecordNew", "新規"},
        {"OpenDataFiles", "開く"},
        {"saveas", "保存"},
        {"BtPrint", "印刷プレビュー"},
        {"BtSave", "グラフを画像で保存"},
        {"BtFirst", "最初のページ"},
        {"BTPrevious", "前のページ"},
        {"BtNext", "次のページ"},
        {"BTlast", "最後のページ"},
        {"TbFd", "Graphic Enlarge"},
        {"TbSx", "Graphic Restore"},
    };
    for (const auto& b : buttons) {
        auto* w = f.child<QToolButton>(b.name);
        ASSERT_NE(w, nullptr) << b.name;
        EXPECT_TRUE(w->text().isEmpty()) << b.name;
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(b.hint)) << b.name;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr) << b.name;
        EXPECT_EQ(a->text(QAccessible::Name), QString::fromUtf8(b.hint)) << b.name;
    }
}

TEST(Window, CloseQueryOnEveryCloseRequest) {
    using A = MessageBoxes::Answer;
    const struct {
        const char* how;
        bool byButton;
        A answer;
    } cases[] = {{"button No", true, A::No},
                 {"button Yes", true, A::Yes},
                 {"close box No", false, A::No},
                 {"close box Yes", false, A::Yes}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        WindowFixture f;
        f.boxes.answers.push_back(c.answer);
        if (c.byButton) {
            QTest::mouseClick(f.child<QPushButton>("BitBtn1"), Qt::LeftButton);
        } else {
            f.window->close();
        }
        ASSERT_EQ(f.boxes.shown.size(), 1u);
        const auto& box = f.boxes.shown[0];
        EXPECT_EQ(box.text, QStringLiteral("プログラムを終了しますか？"));
        EXPECT_EQ(box.caption, QStringLiteral("インフォメーション"));
        EXPECT_EQ(box.buttons, MessageBoxes::Buttons::YesNo);
        EXPECT_EQ(f.window->isVisible(), c.answer == A::No);
    }
}

// Qt's own texts speak Japanese as the program does: the close question in
// a real message box shows its standard buttons in Japanese.
TEST(Window, CloseQuestionShowsQtsButtonsInJapanese) {
    RealBoxesWindow w;
    const ShownBox shown = answerRealBox(
        [&] { w.window.close(); }, [](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_EQ(shown.text, QStringLiteral("プログラムを終了しますか？"));
    EXPECT_TRUE(w.window.isVisible());
    const std::string all = shown.buttons.join(u',').toStdString();
    ASSERT_EQ(shown.buttons.size(), 2) << all;
    EXPECT_TRUE(shown.buttons.contains(QStringLiteral("はい(&Y)"))) << all;
    EXPECT_TRUE(shown.buttons.contains(QStringLiteral("いいえ(&N)"))) << all;
}

// The frame is logged and not saved: the close question is the one about
// the unsaved row, whose Cancel keeps everything as the plain question's
// No does.
TEST(Window, AnsweringCancelKeepsTheDisplay) {
    WindowFixture f;
    f.send(meterFrame("-4.815", {status1::Auto | status1::DC, 0, 0, status4::Volt}));
    f.boxes.answers.push_back(MessageBoxes::Answer::Cancel);
    f.window->close();
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].buttons, MessageBoxes::Buttons::Choices);
    EXPECT_TRUE(f.window->isVisible());
    EXPECT_EQ(f.child<QLabel>("LcdDa")->text(), QStringLiteral("4"));
    EXPECT_FALSE(f.child("LcdFH")->isHidden());
}

// ----- Error boundary ------------------------------------------------------

TEST(ErrorBox, TextEndsInOneFullStop) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {{"'A' is not a valid integer value", "'A' is not a valid integer value."},
                 {"Cannot open file.", "Cannot open file."},
                 {"保存できません。", "保存できません。"},
                 {"", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(errorBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown));
    }
}

// A receiver whose event handler fails.
class FailingObject : public QObject {
public:
    int handled = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++handled;
            throw std::runtime_error("handler failed");
        }
        return QObject::event(e);
    }
};

void expectErrorBox(const ScriptedMessageBoxes::Shown& box, const char* text) {
    EXPECT_EQ(box.text, QString::fromUtf8(text));
    EXPECT_EQ(box.caption, QStringLiteral("VELKOR"));
    EXPECT_EQ(box.icon, MessageBoxes::Icon::Error);
    EXPECT_EQ(box.buttons, MessageBoxes::Buttons::Ok);
}

TEST(ErrorBoundary, EventLoopShowsTheErrorAndGoesOn) {
    ScriptedMessageBoxes boxes;
    auto* app = static_cast<VelkorApplication*>(QCoreApplication::instance());
    app->setMessageBoxes(&boxes);
    FailingObject failing;
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    app->setMessageBoxes(nullptr);
    EXPECT_EQ(failing.handled, 2);
    ASSERT_EQ(boxes.shown.size(), 2u);
    expectErrorBox(boxes.shown[0], "handler failed.");
    expectErrorBox(boxes.shown[1], "handler failed.");
}

TEST(ErrorBoundary, FailingClickHandlerShowsTheErrorAndTheWindowGoesOn) {
    WindowFixture f;
    auto* app = static_cast<VelkorApplication*>(QCoreApplication::instance());
    app->setMessageBoxes(&f.boxes);
    auto* button = f.child<QPushButton>("Bt10"); // a button without a command of its own
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] {
        ++clicks;
        throw std::runtime_error("port failed");
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    app->setMessageBoxes(nullptr);
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(f.boxes.shown.size(), 2u);
    expectErrorBox(f.boxes.shown[0], "port failed.");
    // The window still works: frames still reach the panel.
    f.send(meterFrame("1.234", {status1::DC, 0, 0, status4::Volt}));
    EXPECT_EQ(f.child<QLabel>("LcdDd")->text(), QStringLiteral("4"));
}

TEST(ErrorBoundary, GuardedHandlerShowsTheError) {
    WindowFixture f;
    bool after = false;
    f.window->guarded([] { throw std::runtime_error("no such port"); });
    f.window->guarded([&] { after = true; });
    EXPECT_TRUE(after);
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    expectErrorBox(f.boxes.shown[0], "no such port.");
}

} // namespace
