// Builds the main window's controls at their designed places, with their
// designed captions, hints and start states. Positions are left, top, width,
// height in pixels of the client area (below the menu bar) or of the panel
// that holds the control.

#include "app/TFCOMM.h"

#include "app/Glyphs.h"
#include "app/LcdPicture.h"
#include "app/MeterPanel.h"
#include "app/PanelButton.h"
#include "app/ShapeWidget.h"
#include "app/WindowFonts.h"
#include "chart/view/TrendChartView.h"
#include "record/view/LogGrid.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

namespace velkor {

namespace {

constexpr int kClientWidth = 663;
constexpr int kClientHeight = 509;
// The info-tip background colour of the judge panel's value and result.
const QColor kInfoBackground(255, 255, 225);

template <typename W> W* named(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

QFrame* panel(QWidget* parent, const char* name, int x, int y, int w, int h, bool sunken) {
    auto* f = named(new QFrame(parent), name, x, y, w, h);
    f->setFrameStyle(QFrame::Panel | (sunken ? QFrame::Sunken : QFrame::Raised));
    f->setLineWidth(1);
    return f;
}

void paintWhite(QWidget* w) {
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::white);
    w->setPalette(pal);
}

void paintBase(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, c);
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}

// A label that takes the size of its caption, placed by its left and top.
QLabel* autoLabel(QWidget* parent, const char* name, const QString& caption, int x, int y,
                  const QFont& font) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(font);
    l->adjustSize();
    l->move(x, y);
    return l;
}

QToolButton* glyphButton(QWidget* parent, const char* name, int x, int y, int w, int h, Glyph glyph,
                         const QString& hint) {
    auto* b = named(new QToolButton(parent), name, x, y, w, h);
    b->setIcon(glyphIcon(glyph));
    b->setIconSize(QSize(w - 8, h - 8));
    // A picture alone says nothing to a screen reader: the hint names it.
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setAutoRaise(false);
    return b;
}

QLineEdit* edit(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text,
                const QFont& font) {
    auto* e = named(new QLineEdit(text, parent), name, x, y, w, h);
    e->setFont(font);
    return e;
}

QTimer* timer(QObject* parent, const char* name, int intervalMs, bool running) {
    auto* t = new QTimer(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setInterval(intervalMs);
    if (running) {
        t->start();
    }
    return t;
}

} // namespace

void TFCOMM::buildLayout() {
    setFont(uiFont(11));
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    buildConnectionBar(client);

    Panel1 = new MeterPanel(client);
    Panel1->setGeometry(5, 36, 302, 162);

    PBar2 = named(new QProgressBar(client), "PBar2", 5, 197, 302, 17);
    PBar2->setRange(0, 60);
    PBar2->setValue(30);
    PBar2->setTextVisible(false);

    buildRecordPanel(client);

    DBGrid1 = named(new LogGridView(client), "DBGrid1", 4, 264, 303, 241);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->verticalHeader()->hide();
    DBGrid1->setFont(uiFont(12));

    buildJudgePanel(client);
    buildChartToolbar(client);

    Chtshow = new TrendChartView(client);
    Chtshow->setGeometry(309, 189, 350, 316);

    buildRecordMenu();
    buildHiddenControls(client);
    buildTimers();
}

void TFCOMM::buildConnectionBar(QWidget* client) {
    // Aligned to the top of the client area.
    Panel5 = panel(client, "Panel5", 0, 0, kClientWidth, 32, false);
    PanelButton** ports[] = {&BtCOM1, &BtCOM2, &BtCOM3, &BtCOM4};
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("BtCOM%1").arg(i + 1);
        auto* b = new PanelButton(QStringLiteral("COM %1").arg(i + 1), Panel5);
        b->setObjectName(name);
        b->setGeometry(5, 3, 61, 24);
        b->setVisible(i == 0);
        *ports[i] = b;
    }
    // Two toggle buttons that may both be up.
    COMCon = named(new QPushButton(QStringLiteral("COM接続"), Panel5), "COMCon", 76, 3, 125, 25);
    COMCon->setCheckable(true);
    USBCon = named(new QPushButton(QStringLiteral("USB接続"), Panel5), "USBCon", 203, 3, 158, 25);
    USBCon->setCheckable(true);
    BitBtn1 = named(new QPushButton(QStringLiteral("閉じる"), Panel5), "BitBtn1", 563, 3, 86, 25);
    BitBtn1->setIcon(glyphIcon(Glyph::Close));
}

void TFCOMM::buildRecordPanel(QWidget* client) {
    Panel2 = panel(client, "Panel2", 4, 216, 305, 41, false);
    RepeatSet = named(new QCheckBox(QStringLiteral("連続"), Panel2), "RepeatSet", 6, 3, 60, 17);
    RepeatSet->setToolTip(QStringLiteral("Repeage Record"));
    RepeatSet->setChecked(true);
    RecordSI =
        named(new QCheckBox(QStringLiteral("サンプリング"), Panel2), "RecordSI", 6, 21, 92, 17);
    RecordSITime = edit(Panel2, "RecordSITime", 100, 19, 28, 19, QStringLiteral("1"), font());
    Label4 = autoLabel(Panel2, "Label4", QStringLiteral("S"), 131, 22, font());
    RecordNew =
        glyphButton(Panel2, "RecordNew", 150, 3, 36, 35, Glyph::NewPage, QStringLiteral("新規"));
    OpenDataFiles = glyphButton(Panel2, "OpenDataFiles", 188, 3, 36, 35, Glyph::OpenFolder,
                                QStringLiteral("開く"));
    saveas = glyphButton(Panel2, "saveas", 226, 3, 36, 35, Glyph::Floppy, QStringLiteral("保存"));
    BtPrint = glyphButton(Panel2, "BtPrint", 264, 3, 36, 35, Glyph::Printer,
                          QStringLiteral("印刷プレビュー"));
}

void TFCOMM::buildJudgePanel(QWidget* client) {
    Panel4 = panel(client, "Panel4", 308, 34, 351, 116, true);
    paintWhite(Panel4);
    const QFont small = uiFont(11, true);
    const QString hint = QStringLiteral("Please enter a number here.");
    T1_HI = autoLabel(Panel4, "T1_HI", QStringLiteral("上限設定"), 16, 16, small);
    T1HI = edit(Panel4, "T1HI", 113, 12, 57, 22, QStringLiteral("6000"), small);
    T1HI->setToolTip(hint);
    T1_Value = autoLabel(Panel4, "T1_Value", QStringLiteral("測定値"), 16, 52, small);
    T1VALUE = edit(Panel4, "T1VALUE", 112, 43, 81, 32, QStringLiteral("0"), uiFont(21, true));
    paintBase(T1VALUE, kInfoBackground);
    T1_LO = autoLabel(Panel4, "T1_LO", QStringLiteral("下限設定"), 16, 84, small);
    T1LO = edit(Panel4, "T1LO", 112, 84, 57, 22, QStringLiteral("-6000"), small);
    T1LO->setToolTip(hint);
    Shape1 = named(new ShapeWidget(ShapeWidget::Kind::Circle, Panel4), "Shape1", 192, 8, 113, 97);
    Shape1->setBrush(kInfoBackground);
    judge = named(new QLabel(Panel4), "judge", 216, 40, 66, 29);
    judge->setFont(uiFont(24, true));
    judge->setAlignment(Qt::AlignCenter);
    judge->setAutoFillBackground(true);
    paintBase(judge, kInfoBackground);
    CONok = named(new LcdPicture(LcdPicture::Kind::LinkLit, Panel4), "CONok", 310, 13, 25, 24);
    CONok->hide();
    CONokN = named(new LcdPicture(LcdPicture::Kind::LinkDark, Panel4), "CONokN", 310, 13, 25, 20);
}

void TFCOMM::buildChartToolbar(QWidget* client) {
    TntPanel1 = panel(client, "TntPanel1", 308, 149, 351, 41, false);
    BtFill = named(new QCheckBox(QStringLiteral("Fill "), TntPanel1), "BtFill", 6, 12, 48, 17);
    BtFill->setToolTip(QStringLiteral("Graphic Fill"));
    BtFill->setChecked(true);
    Maxrecord = edit(TntPanel1, "Maxrecord", 56, 10, 40, 21, QStringLiteral("100"), font());
    BtSave = glyphButton(TntPanel1, "BtSave", 100, 6, 30, 29, Glyph::Floppy,
                         QStringLiteral("グラフを画像で保存"));
    BtFirst = glyphButton(TntPanel1, "BtFirst", 136, 6, 30, 29, Glyph::First,
                          QStringLiteral("最初のページ"));
    BTPrevious = glyphButton(TntPanel1, "BTPrevious", 168, 6, 30, 29, Glyph::Previous,
                             QStringLiteral("前のページ"));
    Bt10 = named(new QPushButton(QStringLiteral("1"), TntPanel1), "Bt10", 200, 6, 40, 29);
    {
        QPalette pal = Bt10->palette();
        pal.setColor(QPalette::ButtonText, Qt::blue);
        Bt10->setPalette(pal);
        Bt10->setFocusPolicy(Qt::NoFocus);
    }
    BtNext =
        glyphButton(TntPanel1, "BtNext", 242, 6, 30, 29, Glyph::Next, QStringLiteral("次のページ"));
    BTlast = glyphButton(TntPanel1, "BTlast", 274, 6, 30, 29, Glyph::Last,
                         QStringLiteral("最後のページ"));
    TbFd = glyphButton(TntPanel1, "TbFd", 314, 6, 30, 29, Glyph::ZoomIn,
                       QStringLiteral("Graphic Enlarge"));
    TbSx = glyphButton(TntPanel1, "TbSx", 314, 6, 30, 29, Glyph::ZoomOut,
                       QStringLiteral("Graphic Restore"));
    TbSx->hide();
}

void TFCOMM::buildRecordMenu() {
    recordMenu = menuBar()->addMenu(QStringLiteral("記録"));
    recordMenu->setObjectName(QStringLiteral("recordMenu"));
    recordSizeGroup = new QActionGroup(this);
    recordSizeGroup->setExclusive(true);
    struct Item {
        QAction** action;
        const char* name;
        const char* caption;
    };
    const Item items[] = {
        {&N10001, "N10001", "1000"},       {&N50001, "N50001", "5000"},
        {&N100001, "N100001", "10000"},    {&N500001, "N500001", "50000"},
        {&N1000001, "N1000001", "100000"}, {&limitess, "limitess", "無制限"},
    };
    for (const Item& item : items) {
        auto* a = recordMenu->addAction(QString::fromUtf8(item.caption));
        a->setObjectName(QString::fromLatin1(item.name));
        a->setCheckable(true);
        recordSizeGroup->addAction(a);
        *item.action = a;
    }
    N100001->setChecked(true);
}

void TFCOMM::buildHiddenControls(QWidget* client) {
    systeminfomation = named(new QLineEdit(client), "systeminfomation", 680, 0, 40, 21);
    systeminfomation->hide();
    ComboBox1 = named(new QComboBox(client), "ComboBox1", 680, 24, 80, 21);
    ComboBox1->addItems({QStringLiteral("Series2"), QStringLiteral("Series1")});
    ComboBox1->hide();
    // The MIN/MAX captions: a silver panel outside the client area.
    Panel3 = panel(client, "Panel3", 680, 48, 185, 41, false);
    Panel3->setAutoFillBackground(true);
    paintBase(Panel3, QColor(192, 192, 192));
    Label11 = autoLabel(Panel3, "Label11", QStringLiteral("MIN: "), 4, 4, font());
    MinText = autoLabel(Panel3, "MinText", QStringLiteral("4001"), 40, 4, font());
    MinTextU = autoLabel(Panel3, "MinTextU", QStringLiteral("*"), 100, 4, font());
    Label12 = autoLabel(Panel3, "Label12", QStringLiteral("MAX: "), 4, 22, font());
    MaxText = autoLabel(Panel3, "MaxText", QStringLiteral("-4001"), 40, 22, font());
    MaxTextU = autoLabel(Panel3, "MaxTextU", QStringLiteral("*"), 100, 22, font());
    Panel3->hide();
}

void TFCOMM::buildTimers() {
    ConTimer = timer(this, "ConTimer", 100, true);
    // The link mark goes off on the third tick after the last frame; a coarse
    // timer may fire up to 5 % early, which would cut that below 200 ms.
    ConTimer->setTimerType(Qt::PreciseTimer);
    Timer1 = timer(this, "Timer1", 500, false);
    Timer4 = timer(this, "Timer4", 500, false);
    Timer3 = timer(this, "Timer3", 1000, false);
    Timer2 = timer(this, "Timer2", 1000, true);
    Trecord = timer(this, "Trecord", 1000, false);
}

// A fixed single border with a system menu and a minimise box, no maximise
// box and no resizing, centred on the screen.
void TFCOMM::placeWindow() {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    centreOnScreen();
}

// The window with its frame in the middle of the screen's free area. The
// frame is known only once the window is shown, so this runs again then.
void TFCOMM::centreOnScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) {
        return;
    }
    QRect r = frameGeometry();
    r.moveCenter(s->availableGeometry().center());
    move(r.topLeft());
}

} // namespace velkor
