#include "chart/TChartControl.h"
#include "chart/view/TrendChartView.h"
#include "platform/MessageBoxes.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/posix/SystemErrorText.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <sys/stat.h>

using namespace velkor;

namespace {

// The chart as the main window starts it, at its place in the window.
class ChartViewTest : public ::testing::Test {
protected:
    ChartViewTest() : ctrl(view.model(), 100, boxes) {
        view.resize(350, 316);
        view.model().fillSampleValues(1);
        showOnlySeries(view.model(), 0);
        view.model().setVerticalRange(-6000, 6000);
        view.refresh();
    }

    void addReadings(int count) {
        for (int i = 0; i < count; ++i) {
            ctrl.Add(static_cast<double>(view.model().pointCount()) * 2);
        }
    }

    // The points Qt Charts holds for a series, checked against the model.
    void expectDrawnWindow(int seriesIndex, long long first, long long last) {
        const QLineSeries* line = seriesIndex == 0 ? view.Series2()->upperSeries() : view.Series1();
        ASSERT_EQ(line->count(), last - first + 1);
        for (qsizetype i = 0; i < line->count(); ++i) {
            const QPointF p = line->at(i);
            EXPECT_EQ(p.x(), static_cast<double>(first + i));
            EXPECT_EQ(p.y(), view.model().value(first + i));
        }
    }

    ScriptedMessageBoxes boxes;
    TrendChartView view;
    TChartControl ctrl;
};

TEST_F(ChartViewTest, HasTheLookOfTheTrendChart) {
    EXPECT_EQ(view.objectName(), QStringLiteral("Chtshow"));
    EXPECT_EQ(view.Series2()->objectName(), QStringLiteral("Series2"));
    EXPECT_EQ(view.Series1()->objectName(), QStringLiteral("Series1"));
    EXPECT_EQ(view.Series2()->brush().color(), QColor(255, 255, 128));
    EXPECT_EQ(view.Series2()->pen().color(), QColor(0, 128, 255));
    EXPECT_EQ(view.Series1()->pen().color(), QColor(128, 255, 0));
    EXPECT_EQ(view.horizontalAxis()->titleText(), QStringLiteral("記録数"));
    EXPECT_EQ(view.verticalAxis()->titleText(), QStringLiteral("値"));
    EXPECT_EQ(view.verticalAxis()->linePen().style(), Qt::DashLine);
    EXPECT_EQ(view.verticalAxis()->linePen().color(), QColor(0, 64, 128));
    EXPECT_EQ(view.verticalAxis()->minorTickCount(), 4);
    EXPECT_EQ(view.chart()->backgroundBrush().color(), QColor(192, 220, 248));
    EXPECT_FALSE(view.chart()->legend()->isVisible());
    EXPECT_EQ(view.chart()->title(), QStringLiteral("  "));
    EXPECT_EQ(view.rubberBand(), QChartView::NoRubberBand);
}

TEST_F(ChartViewTest, DrawsOnlyTheWindowOfTheShownSeries) {
    addReadings(100050); // X up to 100050, window 100001..100100
    view.refresh();
    EXPECT_EQ(view.horizontalAxis()->min(), 100001);
    EXPECT_EQ(view.horizontalAxis()->max(), 100100);
    expectDrawnWindow(0, 100001, 100050);
    EXPECT_EQ(view.drawnPointCount(1), 0);
    EXPECT_TRUE(view.Series2()->isVisible());
    EXPECT_FALSE(view.Series1()->isVisible());

    showOnlySeries(view.model(), 1);
    ctrl.First();
    view.refresh();
    EXPECT_EQ(view.horizontalAxis()->min(), 1);
    expectDrawnWindow(1, 1, 100);
    EXPECT_EQ(view.drawnPointCount(0), 0);
    EXPECT_FALSE(view.Series2()->isVisible());
    EXPECT_TRUE(view.Series1()->isVisible());
}

TEST_F(ChartViewTest, ChangesReachTheDrawingOnTheNextTurnOfTheEventLoop) {
    addReadings(150); // the window moved to 101..200
    view.model().setVerticalRange(-6, 6);
    EXPECT_EQ(view.horizontalAxis()->min(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.horizontalAxis()->min(), 101);
    EXPECT_EQ(view.verticalAxis()->min(), -6);
    EXPECT_EQ(view.verticalAxis()->max(), 6);
    expectDrawnWindow(0, 101, 150);

    addReadings(3); // inside the window: appended on the next turn
    expectDrawnWindow(0, 101, 150);
    QCoreApplication::processEvents();
    expectDrawnWindow(0, 101, 153);

    ctrl.Clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.drawnPointCount(0), 0);
    ctrl.Add(5); // X = 0, left of the window 1..100
    QCoreApplication::processEvents();
    EXPECT_EQ(view.drawnPointCount(0), 0);
}

TEST_F(ChartViewTest, APacedViewDrawsWhenItsOwnerRefreshesIt) {
    view.setPaced(true);
    addReadings(40);
    view.model().setVerticalRange(-60, 60);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.drawnPointCount(0), 0); // the sample point is left of 1..100
    EXPECT_EQ(view.verticalAxis()->max(), 6000);
    view.refresh();
    expectDrawnWindow(0, 1, 40);
    EXPECT_EQ(view.verticalAxis()->max(), 60);
    // New points reach what is drawn with the window they are in.
    addReadings(70); // the window moves on to 101..200 at the 100th
    view.refresh();
    expectDrawnWindow(0, 101, 110);
    addReadings(5);
    view.refresh();
    expectDrawnWindow(0, 101, 115);
}

// The axes are given only what changed: points that leave the range as it
// was do not set the axis again.
TEST_F(ChartViewTest, AnAxisIsSetOnlyWhenItsRangeChanges) {
    int verticalChanges = 0;
    int horizontalChanges = 0;
    QObject::connect(view.verticalAxis(), &QValueAxis::rangeChanged, [&] { ++verticalChanges; });
    QObject::connect(view.horizontalAxis(), &QValueAxis::rangeChanged,
                     [&] { ++horizontalChanges; });
    for (int i = 0; i < 30; ++i) {
        addReadings(1);
        view.model().setVerticalRange(-6000, 6000);
        view.refresh();
    }
    EXPECT_EQ(verticalChanges, 0);
    EXPECT_EQ(horizontalChanges, 0);
    view.model().setVerticalRange(-600, 600);
    view.refresh();
    view.refresh();
    EXPECT_EQ(verticalChanges, 1);
    addReadings(100); // the next page
    view.refresh();
    EXPECT_EQ(horizontalChanges, 1);
}

// Between ranges of different size the axis never holds more than a few
// dozen ticks on the way: thousands of labels would squeeze each other to
// "…" and take the time of thousands.
TEST_F(ChartViewTest, ARangeChangeNeverMakesThousandsOfTicksOnTheWay) {
    QValueAxis* axis = view.verticalAxis();
    double worst = 0;
    const auto check = [&] {
        if (axis->tickInterval() > 0) {
            worst = std::max(worst, (axis->max() - axis->min()) / axis->tickInterval());
        }
    };
    QObject::connect(axis, &QValueAxis::rangeChanged, check);
    QObject::connect(axis, &QValueAxis::tickIntervalChanged, check);
    for (const double limit : {6.0, 6000.0, 0.6, 600.0, 4.0, 4000.0, 6.0}) {
        view.model().setVerticalRange(-limit, limit);
        view.refresh();
        EXPECT_EQ(axis->max(), limit);
        EXPECT_LE((axis->max() - axis->min()) / axis->tickInterval(), 20);
    }
    EXPECT_GT(worst, 0);
    EXPECT_LE(worst, 20);
}

TEST_F(ChartViewTest, SavesTheChartAsDrawnAsAWindowsBitmap) {
    addReadings(120);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trend.bmp"));
    view.saveBitmap(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM"));
    const QImage image(path, "BMP");
    EXPECT_EQ(image.size(), QSize(350, 316));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(192, 220, 248)); // the chart's background

    EXPECT_THROW(view.saveBitmap(dir.filePath(QStringLiteral("missing/trend.bmp"))),
                 std::runtime_error);
}

// The picture is saved as the log's files are: an old picture's mode is
// kept, and a pipe in its place is refused and left alone.
TEST_F(ChartViewTest, SavingThePictureKeepsTheModeAndRefusesAPipe) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trend.bmp"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    view.saveBitmap(path);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(QImage(path, "BMP").size(), QSize(350, 316));

    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("pipe.bmp")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    try {
        view.saveBitmap(QFile::decodeName(fifo));
        ADD_FAILURE() << "a pipe was written";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("%1に保存できませんでした。\n%2。")
                      .arg(QFile::decodeName(fifo), notRegularFileText()))
            << e.what();
    }
    ASSERT_EQ(::stat(fifo.constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

} // namespace
