// The judge panel and the measurement log in the main window: the verdict
// on the panel, the limit edits with their key filters and validation
// timers, the grid following the log, the bar, the record menu, sampling,
// the interval edit and New.

#include "app/ShapeWidget.h"
#include "app/WindowTestSupport.h"
#include "chart/ChartModel.h"
#include "chart/TChartControl.h"
#include "pipeline/MeterSession.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace velkor;
using velkor::test::WindowFixture;

namespace {

MeterFrame dcVolts(const char* display) {
    return meterFrame(display, {status1::Auto | status1::DC, 0, 0, status4::Volt});
}

// Replaces the edit's text by typing, as a user would: select all, then the keys.
void retype(QLineEdit* edit, const QString& keys) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, keys);
}

QColor background(const QWidget* w) {
    return w->palette().color(QPalette::Window);
}

TEST(WindowJudge, PanelShowsTheVerdictOfTheLatestFrame) {
    WindowFixture f;
    auto* value = f.child<QLineEdit>("T1VALUE");
    auto* caption = f.child<QLabel>("judge");
    auto* circle = f.child<ShapeWidget>("Shape1");
    EXPECT_EQ(value->text(), QStringLiteral("0"));
    EXPECT_TRUE(caption->text().isEmpty());

    f.send(dcVolts("012.3"));
    EXPECT_EQ(value->text(), QStringLiteral("012.3"));
    EXPECT_EQ(caption->text(), QStringLiteral("Pass"));
    const QColor green(0, 128, 0);
    EXPECT_EQ(value->palette().color(QPalette::Base), green);
    EXPECT_EQ(background(caption), green);
    EXPECT_EQ(circle->brush().color(), green);

    retype(f.child<QLineEdit>("T1HI"), QStringLiteral("10"));
    f.send(dcVolts("012.3"));
    const QColor red(255, 0, 0);
    EXPECT_EQ(caption->text(), QStringLiteral("Fail"));
    EXPECT_EQ(value->palette().color(QPalette::Base), red);
    EXPECT_EQ(circle->brush().color(), red);
    EXPECT_EQ(f.window->session().cds1.row(1).Auto, QStringLiteral("Fail"));
}

struct KeyCase {
    const char* edit;
    const char* typed;
    const char* shown;
};

const KeyCase kKeyCases[] = {
    {"T1HI", "abc", ""},
    {"T1HI", "-12.5", "-12.5"},
    {"T1HI", "1.5.", "1.5"},
    {"T1LO", "1,5", "15"},
    {"T1LO", "+'`", "+'`"},
    {"T1LO", "1e3", "13"},
    {"RecordSITime", "a1b2", "12"},
    {"RecordSITime", "-3.", "3"},
};

TEST(WindowJudge, KeyFiltersLetThroughOnlyTheirKeys) {
    for (const KeyCase& c : kKeyCases) {
        WindowFixture f;
        auto* edit = f.child<QLineEdit>(c.edit);
        retype(edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown)) << c.edit << " " << c.typed;
    }
}

// A text that does not parse goes back to the last accepted one when the
// validation timer fires; typing restarts the timer.
TEST(WindowJudge, ValidationTimerRevertsUnparsableLimits) {
    WindowFixture f;
    auto* hi = f.child<QLineEdit>("T1HI");
    auto* timer1 = f.window->findChild<QTimer*>(QStringLiteral("Timer1"));
    retype(hi, QStringLiteral("'"));
    EXPECT_EQ(hi->text(), QStringLiteral("'"));
    EXPECT_TRUE(timer1->isActive());
    f.window->Timer1Timer();
    EXPECT_EQ(hi->text(), QStringLiteral("6000"));
    EXPECT_FALSE(timer1->isActive());

    // The same through the event loop, for the lower limit.
    auto* lo = f.child<QLineEdit>("T1LO");
    retype(lo, QStringLiteral("-"));
    for (int i = 0; i < 40 && lo->text() != QStringLiteral("-6000"); ++i) {
        QTest::qWait(50);
    }
    EXPECT_EQ(lo->text(), QStringLiteral("-6000"));
    EXPECT_FALSE(f.window->findChild<QTimer*>(QStringLiteral("Timer4"))->isActive());
}

// With "," as the user's separator the next frame rewrites a "." in a limit.
TEST(WindowJudge, FrameNormalisesTheLimitEdits) {
    WindowFixture f;
    f.locale.setUserDecimalSeparator(QStringLiteral(","));
    f.child<QLineEdit>("T1LO")->setText(QStringLiteral("1.5"));
    f.send(dcVolts("012.3"));
    EXPECT_EQ(f.child<QLineEdit>("T1LO")->text(), QStringLiteral("1,5"));
    EXPECT_EQ(f.child<QLabel>("judge")->text(), QStringLiteral("Pass"));
}

TEST(WindowRecord, GridFollowsTheNewestRow) {
    WindowFixture f;
    auto* grid = f.child<QTableView>("DBGrid1");
    const char* titles[] = {"No.", "時間", "機能", "数値", "単位", "判定"};
    const int widths[] = {39, 53, 42, 51, 36, 38};
    ASSERT_EQ(grid->model()->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(grid->model()->headerData(c, Qt::Horizontal).toString(),
                  QString::fromUtf8(titles[c]));
        EXPECT_EQ(grid->columnWidth(c), widths[c]);
    }
    EXPECT_FALSE(grid->verticalHeader()->isVisible());
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(9, 5, 3)));
    for (int i = 0; i < 40; ++i) {
        f.send(dcVolts(i % 2 ? "012.3" : "-1.234"));
    }
    ASSERT_EQ(grid->model()->rowCount(), 40);
    EXPECT_EQ(grid->currentIndex().row(), 39);
    const QModelIndex last = grid->model()->index(39, 0);
    EXPECT_TRUE(grid->viewport()->rect().intersects(grid->visualRect(last)));
    const char* shown[] = {"40", "09:05:03", "DC", "012.3", "V", "pass"};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(grid->model()->index(39, c).data().toString(), QString::fromUtf8(shown[c]));
    }
}

TEST(WindowRecord, BarFollowsTheRangeAndTheValue) {
    WindowFixture f;
    auto* bar = f.child<QProgressBar>("PBar2");
    EXPECT_EQ(bar->maximum(), 60);
    EXPECT_EQ(bar->value(), 30);
    f.send(dcVolts("012.3"));
    EXPECT_EQ(bar->maximum(), 600);
    EXPECT_EQ(bar->value(), 12);
    f.send(dcVolts("-1.234")); // the 6 V range
    EXPECT_EQ(bar->maximum(), 6);
    EXPECT_EQ(bar->value(), 1);
}

TEST(WindowRecord, RepeatsDroppedWhenRepeatSetIsUnchecked) {
    WindowFixture f;
    QTest::mouseClick(f.child<QCheckBox>("RepeatSet"), Qt::LeftButton);
    for (const char* v : {"012.3", "012.3", "012.4", "012.3"}) {
        f.send(dcVolts(v));
    }
    const MeasurementTable& t = f.window->session().cds1;
    ASSERT_EQ(t.rowCount(), 3);
    EXPECT_EQ(t.row(0).No, 1);
    EXPECT_EQ(t.row(1).No, 3);
    EXPECT_EQ(t.row(2).No, 4);
}

TEST(WindowRecord, MenuChoosesTheSizeLimit) {
    WindowFixture f;
    EXPECT_TRUE(f.window->N100001->isChecked());
    f.window->N10001->trigger();
    EXPECT_TRUE(f.window->N10001->isChecked());
    EXPECT_FALSE(f.window->N100001->isChecked());
    EXPECT_EQ(f.window->session().log.MaxRecords, 1000);
    f.window->limitess->trigger();
    EXPECT_EQ(f.window->session().log.MaxRecords, 10000000);
}

// Sampling: the frame starts Timer3, the tick logs the latest reading with
// the locale's time format.
TEST(WindowRecord, SamplingTickLogsTheLatestReading) {
    WindowFixture f;
    QTest::mouseClick(f.child<QCheckBox>("RecordSI"), Qt::LeftButton);
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(21, 5, 3)));
    f.send(dcVolts("001.0"));
    f.send(dcVolts("002.0"));
    auto* timer3 = f.window->findChild<QTimer*>(QStringLiteral("Timer3"));
    EXPECT_TRUE(timer3->isActive());
    EXPECT_EQ(f.window->session().cds1.rowCount(), 0);
    f.window->Timer3Timer();
    f.window->Timer3Timer(); // no frame since: nothing
    const MeasurementTable& t = f.window->session().cds1;
    ASSERT_EQ(t.rowCount(), 1);
    EXPECT_EQ(t.row(0).Value, QStringLiteral("002.0"));
    EXPECT_EQ(t.row(0).Time, QStringLiteral("21:05:03"));
    EXPECT_EQ(f.child<QProgressBar>("PBar2")->value(), 2);
}

// The width the grid gives the text of a cell in `column`: the column less
// the item view's text margins.
int cellTextWidth(QTableView* grid, int column) {
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    return grid->columnWidth(column) - 2 * margin;
}

// A sampled row's time in a Japanese locale is "H:mm:ss" and the grid's
// time column shows it whole; so it does in every locale Qt knows.
TEST(WindowRecord, SampledTimeFitsTheTimeColumnInEveryLocale) {
    WindowFixture f;
    auto* grid = f.child<QTableView>("DBGrid1");
    QTest::mouseClick(f.child<QCheckBox>("RecordSI"), Qt::LeftButton);
    const QFontMetrics metrics(grid->font());
    const int room = cellTextWidth(grid, 1);

    f.locale = FixedLocaleSource(QStringLiteral("."), QStringLiteral("."),
                                 QLocale(QLocale::Japanese, QLocale::Japan));
    f.clock.set(QDateTime(QDate(2026, 3, 1), QTime(23, 58, 58)));
    f.send(dcVolts("001.0"));
    f.window->Timer3Timer();
    ASSERT_EQ(grid->model()->rowCount(), 1);
    const QString japanese = grid->model()->index(0, 1).data().toString();
    EXPECT_EQ(japanese, QStringLiteral("23:58:58"));
    EXPECT_LE(metrics.horizontalAdvance(japanese), room) << room;

    QSet<QString> seen;
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        if (seen.contains(locale.name())) {
            continue;
        }
        seen.insert(locale.name());
        f.locale = FixedLocaleSource(QStringLiteral("."), QStringLiteral("."), locale);
        f.send(dcVolts("001.0"));
        f.window->Timer3Timer();
        const int row = grid->model()->rowCount() - 1;
        const QString time = grid->model()->index(row, 1).data().toString();
        EXPECT_LE(metrics.horizontalAdvance(time), room)
            << locale.name().toStdString() << ": " << time.toStdString();
    }
    EXPECT_GT(seen.size(), 200);
}

// A full log says so once, in a box after the frame it turned away; the
// rows stay as they were.
TEST(WindowRecord, FullLogIsToldOnce) {
    WindowFixture f;
    f.window->session().log.MaxRecords = 2;
    f.send(dcVolts("001.0"));
    f.send(dcVolts("002.0"));
    QApplication::processEvents();
    EXPECT_TRUE(f.boxes.shown.empty());
    for (int i = 0; i < 5; ++i) {
        f.send(dcVolts("003.0"));
        QApplication::processEvents();
    }
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text,
              QStringLiteral("記録件数が上限の 2 件に達したため、これ以上は記録されません。"
                             "続けて記録するには、「記録」メニューで上限を大きくするか、"
                             "「新規」でデータをクリアしてください。"));
    EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_EQ(f.boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
    EXPECT_EQ(f.child<QTableView>("DBGrid1")->model()->rowCount(), 2);
}

TEST(WindowRecord, IntervalEditSetsTheSamplingTimer) {
    WindowFixture f;
    auto* edit = f.child<QLineEdit>("RecordSITime");
    auto* timer3 = f.window->findChild<QTimer*>(QStringLiteral("Timer3"));
    retype(edit, QStringLiteral("5"));
    EXPECT_EQ(timer3->interval(), 5000);
    retype(edit, QStringLiteral("0"));
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
    EXPECT_EQ(timer3->interval(), 1000);
    edit->setText(QStringLiteral("99999999")); // pasted: beyond the timer, ignored
    EXPECT_EQ(timer3->interval(), 1000);
}

// The rows are saved, so New asks its own question.
TEST(WindowRecord, NewAsksAndClearsOnYes) {
    WindowFixture f;
    f.send(dcVolts("012.3"));
    f.send(dcVolts("012.4"));
    QTemporaryDir dir;
    f.fileDialogs.answers.push_back(dir.filePath(QStringLiteral("log.xml")));
    QTest::mouseClick(f.child<QToolButton>("saveas"), Qt::LeftButton);
    f.boxes.shown.clear(); // "...に保存"
    auto* grid = f.child<QTableView>("DBGrid1");
    auto* button = f.child<QToolButton>("RecordNew");
    f.boxes.answers = {MessageBoxes::Answer::No};
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text, QStringLiteral("データをクリアしますか？"));
    EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_EQ(grid->model()->rowCount(), 2);
    f.boxes.answers = {MessageBoxes::Answer::Yes};
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(grid->model()->rowCount(), 0);
    f.send(dcVolts("012.5"));
    EXPECT_EQ(f.window->session().cds1.row(0).No, 1);
}

} // namespace

namespace {

// Every logged value goes to the attached chart controller, and Bt10 shows
// its page after each row and after New.
TEST(WindowRecord, LoggedValuesReachTheAttachedChart) {
    WindowFixture f;
    ChartModel chart;
    TChartControl chartCtrl(chart, 100, f.boxes);
    chart.fillSampleValues(1);
    f.window->attachChartToLog(&chartCtrl);
    for (int i = 0; i < 150; ++i) {
        f.send(dcVolts("012.3"));
    }
    EXPECT_EQ(chart.pointCount(), 151);
    EXPECT_DOUBLE_EQ(chart.value(150), 12.3);
    auto* page = f.child<QPushButton>("Bt10");
    EXPECT_EQ(page->text(), QStringLiteral("2"));
    f.boxes.answers = {MessageBoxes::Answer::Discard}; // the 150 rows are not saved
    f.window->RecordNewClick();
    EXPECT_EQ(chart.pointCount(), 0);
    EXPECT_EQ(page->text(), QStringLiteral("1"));
    f.window->attachChartToLog(nullptr);
}

} // namespace
