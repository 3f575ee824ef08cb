// The statistics window as a user meets it in the main window: opened from
// the record menu and from the grid's context menu, following the log as
// rows come (in batches, never on the frame itself), showing the rows
// selected in the grid when there are several, copied as tab-separated
// text; and the alarm sound on the judge's turn to Fail when it is on.

#include "app/WindowTestSupport.h"
#include "pipeline/MeterSession.h"
#include "stats/view/StatisticsWindow.h"
#include "support/EventPump.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace velkor;
using velkor::test::pumpUntil;
using velkor::test::WindowFixture;

namespace {

constexpr int kWaitMs = 10000;

MeterFrame dcVolts(const char* display) {
    return meterFrame(display, {status1::Auto | status1::DC, 0, 0, status4::Volt});
}

MeterFrame ohms(const char* display) {
    return meterFrame(display, {status1::Auto, 0, status3::Kilo, status4::Ohm});
}

// The figure `name` of the column titled `column`; empty when there is none.
QString figure(const StatisticsWindow& w, const QString& column, const char* name) {
    const QTableWidget* t = w.figureTable();
    const int row = int(StatisticsWindow::figureNames().indexOf(QString::fromUtf8(name)));
    for (int c = 0; c < t->columnCount(); ++c) {
        if (t->horizontalHeaderItem(c)->text() == column && row >= 0 && t->item(row, c)) {
            return t->item(row, c)->text();
        }
    }
    return {};
}

StatisticsWindow* openFromMenu(WindowFixture& f) {
    f.window->RecordStats->trigger();
    return f.window->findChild<StatisticsWindow*>(QStringLiteral("StatisticsWindow"));
}

void setHighLimit(WindowFixture& f, const char* text) {
    auto* edit = f.child<QLineEdit>("T1HI");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QString::fromLatin1(text));
}

TEST(WindowStatistics, TheMenuOpensOneWindowThatFollowsTheLogInBatches) {
    WindowFixture f;
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(9, 5, 3)));
    for (const char* v : {"001.0", "002.0", "003.0"}) {
        f.send(dcVolts(v));
    }
    StatisticsWindow* w = openFromMenu(f);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("統計"));
    EXPECT_EQ(w->scopeLabel()->text(), QStringLiteral("全記録 3件"));
    const QString dc = QStringLiteral("DC V");
    EXPECT_EQ(figure(*w, dc, "件数"), QStringLiteral("3"));
    EXPECT_EQ(figure(*w, dc, "平均値"), QStringLiteral("2"));
    EXPECT_EQ(figure(*w, dc, "標準偏差"), QStringLiteral("1"));
    EXPECT_EQ(figure(*w, dc, "最大値のNo."), QStringLiteral("3"));
    EXPECT_EQ(figure(*w, dc, "最大値の時間"), QStringLiteral("09:05:03"));

    // The menu again raises the same window.
    f.window->RecordStats->trigger();
    EXPECT_EQ(f.window->findChildren<StatisticsWindow*>().size(), 1);

    // A burst of rows: nothing is counted on the frame itself; the figures
    // come together once the refresh is due.
    for (int i = 0; i < 50; ++i) {
        f.send(dcVolts("004.0"));
    }
    f.send(ohms("4.700"));
    EXPECT_EQ(figure(*w, dc, "件数"), QStringLiteral("3"));
    ASSERT_TRUE(pumpUntil([&] { return figure(*w, dc, "件数") == QLatin1String("53"); }, kWaitMs));
    EXPECT_EQ(w->scopeLabel()->text(), QStringLiteral("全記録 54件"));
    EXPECT_EQ(figure(*w, dc, "最大値"), QStringLiteral("4"));
    EXPECT_EQ(figure(*w, dc, "最大値のNo."), QStringLiteral("4"));
    EXPECT_EQ(figure(*w, QStringLiteral("OHM Ω"), "平均値"), QStringLiteral("4700"));

    // New clears the log: the figures count again from nothing.
    // (The rows were never saved: dropping them is asked about.)
    f.boxes.answers = {MessageBoxes::Answer::Discard};
    QTest::mouseClick(f.child<QToolButton>("RecordNew"), Qt::LeftButton);
    ASSERT_EQ(f.window->session().cds1.rowCount(), 0);
    ASSERT_TRUE(pumpUntil(
        [&] { return w->scopeLabel()->text() == QStringLiteral("記録がありません"); }, kWaitMs));
    EXPECT_EQ(w->figureTable()->columnCount(), 0);
}

TEST(WindowStatistics, SeveralSelectedRowsAreShownAndStaySelectedAsRowsCome) {
    WindowFixture f;
    for (const char* v : {"001.0", "002.0", "006.0", "010.0", "100.0"}) {
        f.send(dcVolts(v));
    }
    auto* grid = f.child<QTableView>("DBGrid1");
    // From the grid's context menu.
    grid->customContextMenuRequested(QPoint(5, 5));
    ASSERT_TRUE(f.window->gridMenu->actions().contains(f.window->RecordStats));
    EXPECT_TRUE(f.window->gridMenu->isVisible());
    f.window->gridMenu->actions().first()->trigger();
    f.window->gridMenu->hide();
    auto* w = f.window->findChild<StatisticsWindow*>(QStringLiteral("StatisticsWindow"));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isVisible());

    // Rows 2 to 4 (No. 2, 3, 4) and then row 1 with the control key.
    QItemSelectionModel* selection = grid->selectionModel();
    const auto rows = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    selection->select(grid->model()->index(1, 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->select(QItemSelection(grid->model()->index(2, 0), grid->model()->index(3, 0)), rows);
    const QString dc = QStringLiteral("DC V");
    ASSERT_TRUE(pumpUntil([&] { return w->showsSelection(); }, kWaitMs));
    EXPECT_EQ(w->scopeLabel()->text(), QStringLiteral("選択した記録 3件"));
    EXPECT_EQ(figure(*w, dc, "件数"), QStringLiteral("3"));
    EXPECT_EQ(figure(*w, dc, "平均値"), QStringLiteral("6"));
    EXPECT_EQ(figure(*w, dc, "最小値のNo."), QStringLiteral("2"));
    selection->select(grid->model()->index(0, 0), rows);
    ASSERT_TRUE(pumpUntil(
        [&] { return w->scopeLabel()->text() == QStringLiteral("選択した記録 4件"); }, kWaitMs));
    EXPECT_EQ(figure(*w, dc, "平均値"), QStringLiteral("4.75"));

    // A new row keeps the selection and its figures.
    f.send(dcVolts("050.0"));
    EXPECT_EQ(selection->selectedRows().size(), 4);
    EXPECT_EQ(grid->currentIndex().row(), 5);
    w->refresh();
    EXPECT_EQ(w->scopeLabel()->text(), QStringLiteral("選択した記録 4件"));

    // One row selected: the whole log again.
    selection->select(grid->model()->index(5, 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_TRUE(pumpUntil([&] { return !w->showsSelection(); }, kWaitMs));
    EXPECT_EQ(w->scopeLabel()->text(), QStringLiteral("全記録 6件"));
    EXPECT_EQ(figure(*w, dc, "件数"), QStringLiteral("6"));
}

TEST(WindowStatistics, CopyGivesTheTableAsTabSeparatedText) {
    WindowFixture f;
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(23, 59, 58)));
    f.send(dcVolts("001.5"));
    f.send(dcVolts("002.5"));
    f.send(ohms("0L"));
    StatisticsWindow* w = openFromMenu(f);
    ASSERT_NE(w, nullptr);
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("StatCopy")), Qt::LeftButton);
    const QString want = QStringLiteral("\tDC V\tOHM Ω\n"
                                        "件数\t2\t0\n"
                                        "オーバーレンジ件数\t0\t1\n"
                                        "Fail件数\t0\t1\n"
                                        "最小値\t1.5\t\n"
                                        "最小値のNo.\t1\t\n"
                                        "最小値の時間\t23:59:58\t\n"
                                        "最大値\t2.5\t\n"
                                        "最大値のNo.\t2\t\n"
                                        "最大値の時間\t23:59:58\t\n"
                                        "平均値\t2\t\n"
                                        "標準偏差\t0.707107\t\n"
                                        "最初の時間\t23:59:58\t23:59:58\n"
                                        "最後の時間\t23:59:58\t23:59:58\n");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), want.toStdString());

    // The copy key in the table copies the whole table too, not the
    // current cell alone.
    QGuiApplication::clipboard()->clear();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->figureTable()->setFocus();
    w->figureTable()->setCurrentCell(0, 0);
    QTest::keySequence(w->figureTable(), QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), want.toStdString());
}

// Only a turn to Fail sounds, and only while the menu item is checked; a
// Fail that lasts sounds once.
TEST(WindowAlarmSound, ATurnToFailSoundsWhileTheItemIsChecked) {
    WindowFixture f;
    setHighLimit(f, "10");
    QAction* item = f.window->FailSound;
    ASSERT_FALSE(item->isChecked());
    f.send(dcVolts("012.3"));
    EXPECT_EQ(f.alarmSound.plays, 0) << "the item is off";

    item->trigger();
    ASSERT_TRUE(item->isChecked());
    f.send(dcVolts("012.3"));
    EXPECT_EQ(f.alarmSound.plays, 0) << "turned on while failing: no new turn";
    f.send(dcVolts("005.0"));
    f.send(dcVolts("012.3"));
    EXPECT_EQ(f.alarmSound.plays, 1);
    f.send(dcVolts("012.4"));
    EXPECT_EQ(f.alarmSound.plays, 1) << "still failing";
    f.send(dcVolts("005.0"));
    f.send(dcVolts("011.0"));
    EXPECT_EQ(f.alarmSound.plays, 2);

    item->trigger();
    f.send(dcVolts("005.0"));
    f.send(dcVolts("012.3"));
    EXPECT_EQ(f.alarmSound.plays, 2) << "the item is off again";
}

} // namespace
