#include "platform/MessageBoxes.h"
#include "chart/ChartModel.h"
#include "chart/TChartControl.h"
#include "platform/headless/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

using namespace velkor;

namespace {

// Counts how often the horizontal window moves.
struct WindowMoves final : ChartModelListener {
    void pointsAppended(long long, long long) override {}
    void pointsReset() override {}
    void horizontalWindowChanged() override { ++count; }
    void verticalAxisChanged() override {}
    void seriesVisibilityChanged() override {}
    int count = 0;
};

// The chart as the main window starts it: the controller over the chart
// with 100 points a page, every series given its placeholder point, the
// area series shown.
class ChartControlTest : public ::testing::Test {
protected:
    void SetUp() override { startUp(100); }

    void startUp(int range) {
        model = std::make_unique<ChartModel>();
        ctrl = std::make_unique<TChartControl>(*model, range, boxes);
        model->fillSampleValues(1);
        model->setSeriesVisible(1, false);
        model->setSeriesVisible(0, true);
    }

    // Adds readings numbered from the next X on, with the X as value.
    void addReadings(int count) {
        for (int i = 0; i < count; ++i) {
            ctrl->Add(static_cast<double>(model->pointCount()));
        }
    }

    std::pair<double, double> window() const {
        return {model->horizontalMinimum(), model->horizontalMaximum()};
    }
    static std::pair<double, double> page(double first, double last) { return {first, last}; }

    ScriptedMessageBoxes boxes;
    std::unique_ptr<ChartModel> model;
    std::unique_ptr<TChartControl> ctrl;
};

TEST_F(ChartControlTest, CreateShowsTheFirstPageFollowing) {
    EXPECT_EQ(ctrl->Range(), 100);
    EXPECT_EQ(ctrl->TotalPage(), 1);
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_FALSE(ctrl->paused());
    EXPECT_FALSE(model->horizontalAutomatic());
    EXPECT_EQ(window(), page(1, 100));
    EXPECT_EQ(model->pointCount(), 1); // the placeholder at X = 0
}

TEST_F(ChartControlTest, WorkedExampleFromStartUp) {
    struct Row {
        int reading;
        long long pointCount;
        int totalPage;
        double windowMin, windowMax;
        int curPage;
    };
    const Row rows[] = {
        {1, 2, 1, 1, 100, 1},       {99, 100, 1, 1, 100, 1},    {100, 101, 2, 1, 100, 2},
        {101, 102, 2, 101, 200, 2}, {200, 201, 3, 101, 200, 3}, {201, 202, 3, 201, 300, 3},
    };
    int readings = 0;
    for (const Row& row : rows) {
        addReadings(row.reading - readings);
        readings = row.reading;
        SCOPED_TRACE(row.reading);
        EXPECT_EQ(model->value(row.reading), row.reading); // the reading sits at X = reading
        EXPECT_EQ(ctrl->PointCount(), row.pointCount);
        EXPECT_EQ(ctrl->TotalPage(), row.totalPage);
        EXPECT_EQ(window(), page(row.windowMin, row.windowMax));
        EXPECT_EQ(ctrl->CurPage(), row.curPage);
        EXPECT_FALSE(ctrl->paused());
    }
    EXPECT_EQ(model->pointColour(), 0x0000FFu);
}

TEST_F(ChartControlTest, FirstHoldsThePageAndLastFollowsAgain) {
    addReadings(250);
    EXPECT_EQ(ctrl->PointCount(), 251);
    EXPECT_EQ(ctrl->TotalPage(), 3);
    EXPECT_EQ(window(), page(201, 300));
    EXPECT_EQ(ctrl->CurPage(), 3);

    ctrl->First();
    EXPECT_EQ(window(), page(1, 100));
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_TRUE(ctrl->paused());

    addReadings(60); // 310 readings: X up to 310, four pages counted with the placeholder
    EXPECT_EQ(window(), page(1, 100));
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_EQ(ctrl->TotalPage(), 4);
    EXPECT_EQ(ctrl->PointCount(), 311);

    ctrl->Last();
    EXPECT_EQ(window(), page(301, 400));
    EXPECT_EQ(ctrl->CurPage(), 4);
    EXPECT_FALSE(ctrl->paused());
    addReadings(100);
    EXPECT_EQ(window(), page(401, 500));
    EXPECT_EQ(ctrl->CurPage(), 5);
}

TEST_F(ChartControlTest, FirstAndLastRoundTrip) {
    struct Case {
        int range;
        int readings;
    };
    const Case cases[] = {{100, 100}, {100, 150}, {100, 250}, {100, 1000}, {7, 250}, {1, 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "range " << c.range << ", readings " << c.readings);
        startUp(c.range);
        addReadings(c.readings);
        const auto before = window();
        const int curPage = ctrl->CurPage();
        const int totalPage = ctrl->TotalPage();
        ctrl->First();
        EXPECT_EQ(ctrl->CurPage(), 1);
        EXPECT_TRUE(ctrl->paused());
        EXPECT_LE(model->horizontalMaximum(), c.range);
        ctrl->Last();
        EXPECT_EQ(window(), before);
        EXPECT_EQ(ctrl->CurPage(), curPage);
        EXPECT_EQ(ctrl->TotalPage(), totalPage);
        EXPECT_FALSE(ctrl->paused());
    }
}

TEST_F(ChartControlTest, PreviousAndNextStepOnePageAndHoldBeforeTheLast) {
    addReadings(250);
    ctrl->Previous();
    EXPECT_EQ(window(), page(101, 200));
    EXPECT_EQ(ctrl->CurPage(), 2);
    EXPECT_TRUE(ctrl->paused());

    addReadings(10); // held: the window stays
    EXPECT_EQ(window(), page(101, 200));
    EXPECT_EQ(ctrl->CurPage(), 2);

    ctrl->Previous();
    ctrl->Next();
    EXPECT_EQ(ctrl->CurPage(), 2);
    EXPECT_TRUE(ctrl->paused());
    ctrl->Next();
    EXPECT_EQ(window(), page(201, 300));
    EXPECT_EQ(ctrl->CurPage(), 3);
    EXPECT_FALSE(ctrl->paused());
}

TEST_F(ChartControlTest, PageMovesThatCannotMoveDoNothing) {
    using Move = void (TChartControl::*)();
    struct Case {
        const char* name;
        int readings;
        Move prepare; // brings the chart to the page tested
        Move move;
    };
    const Case cases[] = {
        {"Previous on page 1", 250, &TChartControl::First, &TChartControl::Previous},
        {"Next on the last page", 250, nullptr, &TChartControl::Next},
        {"First with one page", 50, nullptr, &TChartControl::First},
        {"Last with one page", 50, nullptr, &TChartControl::Last},
        {"Last on the last page", 250, nullptr, &TChartControl::Last},
        {"First on page 1", 250, &TChartControl::First, &TChartControl::First},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startUp(100);
        addReadings(c.readings);
        if (c.prepare) {
            (ctrl.get()->*c.prepare)();
        }
        const auto before = window();
        const int curPage = ctrl->CurPage();
        const bool paused = ctrl->paused();
        (ctrl.get()->*c.move)();
        EXPECT_EQ(window(), before);
        EXPECT_EQ(ctrl->CurPage(), curPage);
        EXPECT_EQ(ctrl->paused(), paused);
    }
}

TEST_F(ChartControlTest, NewRangeGoesToTheLastPageWithLimitedScrolls) {
    addReadings(250);
    ctrl->First();
    WindowMoves moves;
    model->setListener(&moves);
    ctrl->setRange(50);
    // 1..50 first, then five scrolls by +50 of which four move the window.
    EXPECT_EQ(moves.count, 1 + 4);
    EXPECT_EQ(window(), page(201, 250));
    EXPECT_EQ(ctrl->CurPage(), 6);
    EXPECT_EQ(ctrl->TotalPage(), 6);
    EXPECT_FALSE(ctrl->paused());
    EXPECT_EQ(ctrl->PointCount(), 251);
    model->setListener(nullptr);
}

TEST_F(ChartControlTest, RangeSetterIgnoresTheCurrentValueAndValuesBelowOne) {
    addReadings(250);
    ctrl->First();
    for (int v : {100, 0, -5}) {
        SCOPED_TRACE(v);
        ctrl->setRange(v);
        EXPECT_EQ(ctrl->Range(), 100);
        EXPECT_EQ(window(), page(1, 100));
        EXPECT_EQ(ctrl->CurPage(), 1);
        EXPECT_TRUE(ctrl->paused());
    }
    EXPECT_THROW(TChartControl(*model, 0, boxes), std::invalid_argument);
}

TEST_F(ChartControlTest, RangeSetterWorksWhenTheWindowLiesLeftOfTheFirstReading) {
    addReadings(200); // window 101..200 on page 3 of 3
    ctrl->First();    // two scrolls: 1..100, then -99..0 (the placeholder lies left of 1)
    ASSERT_EQ(window(), page(-99, 0));
    ctrl->setRange(50);
    EXPECT_EQ(window(), page(151, 200));
    EXPECT_EQ(ctrl->CurPage(), 5);
    EXPECT_FALSE(ctrl->paused());
}

TEST_F(ChartControlTest, CurPageOutOfRangeShowsTheErrorAndChangesNothing) {
    addReadings(250);
    for (int v : {0, 4, -1}) {
        SCOPED_TRACE(v);
        boxes.shown.clear();
        ctrl->setCurPage(v);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, QStringLiteral("The Value must between 1 and 3 !"));
        EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::Error);
        EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
        EXPECT_EQ(window(), page(201, 300));
        EXPECT_EQ(ctrl->CurPage(), 3);
        EXPECT_FALSE(ctrl->paused());
    }
    boxes.shown.clear();
    ctrl->setCurPage(1);
    EXPECT_EQ(window(), page(1, 100));
    EXPECT_TRUE(ctrl->paused());
    ctrl->setCurPage(3);
    EXPECT_EQ(window(), page(201, 300));
    EXPECT_FALSE(ctrl->paused());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ChartControlTest, PageSetterMovesInPageStepsAndIgnoresPagesOutOfRange) {
    addReadings(250);
    for (int v : {0, -2, 4}) {
        SCOPED_TRACE(v);
        ctrl->setPage(v);
        EXPECT_EQ(ctrl->Page(), v);
        EXPECT_EQ(window(), page(201, 300));
        EXPECT_EQ(ctrl->CurPage(), 3);
    }
    ctrl->setPage(1);
    EXPECT_EQ(window(), page(1, 100));
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_TRUE(ctrl->paused());
    ctrl->setPage(3);
    EXPECT_EQ(window(), page(201, 300));
    EXPECT_FALSE(ctrl->paused());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ChartControlTest, ClearOnTheLastPageThenAdd) {
    addReadings(250);
    ctrl->Clear();
    EXPECT_EQ(window(), page(1, 100));
    EXPECT_EQ(model->pointCount(), 0);
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_EQ(ctrl->TotalPage(), 3);
    EXPECT_EQ(ctrl->PointCount(), 251);
    EXPECT_FALSE(ctrl->paused());

    ctrl->Add(42.5);
    EXPECT_EQ(model->pointCount(), 1);
    EXPECT_EQ(model->value(0), 42.5); // X = 0, left of the window
    EXPECT_EQ(ctrl->TotalPage(), 1);
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_EQ(window(), page(1, 100));

    ctrl->Previous();
    ctrl->Next();
    EXPECT_EQ(ctrl->CurPage(), 1);
    EXPECT_EQ(window(), page(1, 100));
}

TEST_F(ChartControlTest, ClearWhileHoldingFollowsAgain) {
    addReadings(250);
    ctrl->Previous();
    ctrl->Clear();
    EXPECT_FALSE(ctrl->paused());
    addReadings(101); // X = 0 .. 100, then 100 lies on the first page
    EXPECT_EQ(window(), page(1, 100));
    addReadings(1);
    EXPECT_EQ(window(), page(101, 200));
    EXPECT_EQ(ctrl->CurPage(), 2);
}

TEST_F(ChartControlTest, AxisSettersReachTheAxesAndForgetRefusedValues) {
    ctrl->setAxisYMax(6);
    ctrl->setAxisYMin(-6);
    EXPECT_EQ(model->verticalMaximum(), 6);
    EXPECT_EQ(model->verticalMinimum(), -6);
    EXPECT_EQ(ctrl->AxisYMax(), 6);

    ctrl->setAxisXMax(150);
    ctrl->setAxisXMin(20);
    EXPECT_EQ(window(), page(20, 150));

    EXPECT_THROW(ctrl->setAxisXMin(151), AxisRangeError);
    EXPECT_EQ(ctrl->AxisXMin(), 20);
    EXPECT_THROW(ctrl->setAxisYMax(-7), AxisRangeError);
    EXPECT_EQ(ctrl->AxisYMax(), 6);
    EXPECT_EQ(model->verticalMaximum(), 6);
}

TEST(ChartModelTest, LimitedScrollMovesOnlyTowardsShownPoints) {
    ChartModel model;
    model.setHorizontalAutomatic(false);
    model.setHorizontalRange(1, 10);
    model.limitedScrollHorizontal(10); // no points
    EXPECT_EQ(model.horizontalMinimum(), 1);
    for (int i = 0; i < 12; ++i) {
        model.appendToAllSeries(i, 0);
    }
    model.limitedScrollHorizontal(0);
    EXPECT_EQ(model.horizontalMinimum(), 1);

    model.setSeriesVisible(0, false);
    model.setSeriesVisible(1, false);
    model.limitedScrollHorizontal(10); // nothing shown, nothing beyond
    EXPECT_EQ(model.horizontalMinimum(), 1);

    model.setSeriesVisible(1, true);
    model.limitedScrollHorizontal(10); // X = 11 lies beyond 10
    EXPECT_EQ(model.horizontalMinimum(), 11);
    EXPECT_EQ(model.horizontalMaximum(), 20);
    model.limitedScrollHorizontal(10); // nothing beyond 20
    EXPECT_EQ(model.horizontalMaximum(), 20);
    model.limitedScrollHorizontal(-20);
    EXPECT_EQ(model.horizontalMinimum(), -9);
    model.limitedScrollHorizontal(-10); // nothing below -9
    EXPECT_EQ(model.horizontalMinimum(), -9);
}

TEST(ChartModelTest, AxesRefuseCrossingLimitsAndVisibleSpanClipsToThePoints) {
    ChartModel model;
    model.setHorizontalAutomatic(false);
    model.setHorizontalRange(1, 100);
    EXPECT_THROW(model.setHorizontalMinimum(101), AxisRangeError);
    EXPECT_THROW(model.setHorizontalMaximum(0), AxisRangeError);
    EXPECT_THROW(model.setHorizontalRange(5, 4), AxisRangeError);
    EXPECT_THROW(model.setVerticalMinimum(5000), AxisRangeError);
    EXPECT_EQ(model.horizontalMinimum(), 1);
    EXPECT_EQ(model.horizontalMaximum(), 100);
    EXPECT_EQ(model.verticalMinimum(), -4100);
    model.setHorizontalMinimum(100); // equal limits are allowed

    struct Case {
        double min, max;
        long long points;
        long long first, last;
    };
    const Case cases[] = {
        {1, 100, 0, 0, -1},  {1, 100, 1, 0, -1},   {1, 100, 50, 1, 49},       {1, 100, 500, 1, 100},
        {-99, 0, 500, 0, 0}, {0.5, 2.5, 10, 1, 2}, {201, 300, 250, 201, 249},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " over " << c.points);
        model.fillSampleValues(static_cast<int>(c.points));
        model.setHorizontalRange(c.min, c.max);
        const auto span = model.visibleSpan();
        EXPECT_EQ(span.first > span.last, c.first > c.last);
        if (c.first <= c.last) {
            EXPECT_EQ(span.first, c.first);
            EXPECT_EQ(span.last, c.last);
        }
    }
}

} // namespace
