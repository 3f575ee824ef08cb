// The trend chart in the main window: the start-up state, the fill box, the
// page buttons with the page number, the page-length edit with its timer,
// enlarge and restore, saving the picture, and the decoding pass reaching
// the chart.

#include "app/WindowTestSupport.h"
#include "chart/TChartControl.h"
#include "chart/view/TrendChartView.h"
#include "sim/FrameEncoder.h"

#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
#include <gtest/gtest.h>

using namespace velkor;
using velkor::test::WindowFixture;

namespace {

class WindowChart : public ::testing::Test {
protected:
    ChartModel& model() { return w().Chtshow->model(); }
    TFCOMM& w() { return *f.window; }
    QString bt10() { return w().Bt10->text(); }
    void addReadings(int count) {
        for (int i = 0; i < count; ++i) {
            w().chartCtrl->Add(i);
        }
    }

    WindowFixture f;
};

TEST_F(WindowChart, StartsWithTheAreaSeriesOnPageOne) {
    EXPECT_EQ(w().Chtshow->geometry(), QRect(309, 189, 350, 316));
    EXPECT_EQ(f.child<TrendChartView>("Chtshow"), w().Chtshow);
    EXPECT_EQ(w().chartCtrl->Range(), 100);
    EXPECT_EQ(w().chartCtrl->CurPage(), 1);
    EXPECT_EQ(model().pointCount(), 1); // the placeholder
    EXPECT_TRUE(model().seriesVisible(0));
    EXPECT_FALSE(model().seriesVisible(1));
    EXPECT_EQ(model().verticalMinimum(), -6000);
    EXPECT_EQ(model().verticalMaximum(), 6000);
    EXPECT_TRUE(w().Timer2->isActive());
    w().Timer2Timer(); // the start-up text "100" equals the page length
    EXPECT_EQ(bt10(), QStringLiteral("1"));
    EXPECT_FALSE(w().Timer2->isActive());
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(WindowChart, FillBoxSwitchesBetweenAreaAndLine) {
    addReadings(20);
    w().BtFill->click();
    EXPECT_FALSE(model().seriesVisible(0));
    EXPECT_TRUE(model().seriesVisible(1));
    w().Chtshow->refresh();
    EXPECT_EQ(w().Chtshow->drawnPointCount(1), 20);
    w().BtFill->click();
    EXPECT_TRUE(model().seriesVisible(0));
    EXPECT_FALSE(model().seriesVisible(1));
    w().Chtshow->refresh();
    EXPECT_EQ(w().Chtshow->drawnPointCount(0), 20);
}

TEST_F(WindowChart, PageButtonsShowThePageAfterEveryClick) {
    addReadings(250);
    w().Bt10->setText(QString());
    struct Step {
        QToolButton* TFCOMM::*button;
        const char* page;
    };
    const Step steps[] = {
        {&TFCOMM::BtNext, "3"}, // on the last page: nothing moves, the page is shown
        {&TFCOMM::BtFirst, "1"}, {&TFCOMM::BTPrevious, "1"}, {&TFCOMM::BtNext, "2"},
        {&TFCOMM::BTlast, "3"},  {&TFCOMM::BTPrevious, "2"},
    };
    for (const Step& s : steps) {
        (w().*s.button)->click();
        EXPECT_EQ(bt10(), QString::fromLatin1(s.page));
    }
    EXPECT_TRUE(w().chartCtrl->paused());
}

TEST_F(WindowChart, PageLengthKeysAndTimer) {
    addReadings(250);
    QLineEdit* edit = w().Maxrecord;
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("5x-.0"));
    EXPECT_EQ(edit->text(), QStringLiteral("50"));
    EXPECT_TRUE(w().Timer2->isActive()); // restarted by every change
    EXPECT_EQ(w().chartCtrl->Range(), 100);
    w().Timer2Timer();
    EXPECT_FALSE(w().Timer2->isActive());
    EXPECT_EQ(w().chartCtrl->Range(), 50);
    EXPECT_EQ(bt10(), QStringLiteral("6"));

    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("5"));
    w().Timer2Timer(); // a pause before the next key applies 5 first
    EXPECT_EQ(w().chartCtrl->Range(), 5);
    QTest::keyClick(edit, Qt::Key_0);
    w().Timer2Timer();
    EXPECT_EQ(w().chartCtrl->Range(), 50);
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST_F(WindowChart, PageLengthThatIsNoValidNumberIsRefused) {
    const char* texts[] = {"", "0", "00", "99999999999", "-3"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        f.boxes.shown.clear();
        w().Maxrecord->setText(QString::fromLatin1(text));
        w().BtFill->setFocus();
        w().Timer2Timer();
        ASSERT_EQ(f.boxes.shown.size(), 1u);
        EXPECT_EQ(f.boxes.shown[0].text,
                  QString::fromLatin1(text) + QStringLiteral(" は無効な設定値です."));
        EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("VELKOR"));
        EXPECT_EQ(f.boxes.shown[0].icon, MessageBoxes::Icon::Error);
        EXPECT_EQ(f.boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
        EXPECT_TRUE(w().Maxrecord->hasFocus());
        EXPECT_EQ(w().Maxrecord->text(), QString::fromLatin1(text));
        EXPECT_EQ(w().chartCtrl->Range(), 100);
    }
}

TEST_F(WindowChart, EnlargeAndRestore) {
    const QRect chart = w().Chtshow->geometry();
    const QSize client = w().Chtshow->parentWidget()->size();
    w().TbFd->click();
    EXPECT_TRUE(w().TbFd->isHidden());
    EXPECT_FALSE(w().TbSx->isHidden());
    const QRect big = w().Chtshow->geometry();
    EXPECT_EQ(big.topLeft(), QPoint(2, 28));
    EXPECT_EQ(big.width(), w().frameGeometry().width() - 12);
    EXPECT_GT(big.height(), 2 * chart.height() - 200);
    EXPECT_LE(big.bottom(), client.height() - 1);
    EXPECT_EQ(w().TntPanel1->pos(), QPoint(2, 0));
    for (QWidget* p : {static_cast<QWidget*>(w().Panel2), static_cast<QWidget*>(w().Panel4),
                       static_cast<QWidget*>(w().Panel5)}) {
        EXPECT_TRUE(p->isHidden());
    }

    w().TbSx->click();
    EXPECT_FALSE(w().TbFd->isHidden());
    EXPECT_TRUE(w().TbSx->isHidden());
    EXPECT_EQ(w().Chtshow->geometry(), chart);
    EXPECT_EQ(w().TntPanel1->pos(), QPoint(312, 141));
    for (QWidget* p : {static_cast<QWidget*>(w().Panel2), static_cast<QWidget*>(w().Panel4),
                       static_cast<QWidget*>(w().Panel5)}) {
        EXPECT_FALSE(p->isHidden());
    }
}

TEST_F(WindowChart, SavesThePictureAsABitmap) {
    addReadings(30);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    f.saveDialog.answers = {dir.filePath(QStringLiteral("trend"))};
    w().BtSave->click();
    const QString path = dir.filePath(QStringLiteral("trend.bmp"));
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].text, path + QStringLiteral(" に保存しました"));
    EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("インフォメーション"));
    EXPECT_EQ(f.boxes.shown[0].icon, MessageBoxes::Icon::Information);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM"));
    EXPECT_EQ(QImage(path).size(), QSize(350, 316));

    // Cancelled: nothing.
    f.boxes.shown.clear();
    w().BtSave->click();
    EXPECT_EQ(f.saveDialog.runs, 2);
    EXPECT_TRUE(f.boxes.shown.empty());

    // A file that cannot be written: the error box, no success message.
    f.saveDialog.answers = {dir.filePath(QStringLiteral("missing/trend.bmp"))};
    w().BtSave->click();
    ASSERT_EQ(f.boxes.shown.size(), 1u);
    EXPECT_EQ(f.boxes.shown[0].icon, MessageBoxes::Icon::Error);
    EXPECT_EQ(f.boxes.shown[0].caption, QStringLiteral("VELKOR"));
    EXPECT_TRUE(f.boxes.shown[0].text.contains(QStringLiteral("missing/trend.bmp")));
}

TEST_F(WindowChart, DecodingPassSetsTheAxisAndTheShownSeries) {
    // DC volts with the point after digit 1: the range row of ±6.
    f.send(meterFrame("1.234", {status1::Auto | status1::DC, 0, 0, status4::Volt}));
    EXPECT_EQ(model().verticalMaximum(), 6);
    EXPECT_EQ(model().verticalMinimum(), -6);

    // The line view chosen, then a change of unit resets the tracker, which
    // shows the series the fill box asks for.
    w().BtFill->click();
    showOnlySeries(model(), 0);
    f.send(meterFrame("123.4", {status1::Auto | status1::DC, 0, status3::Milli, status4::Volt}));
    EXPECT_TRUE(model().seriesVisible(1));
    EXPECT_FALSE(model().seriesVisible(0));
}

} // namespace
