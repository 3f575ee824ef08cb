#include "chart/TChartControl.h"

#include "platform/MessageBoxes.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace velkor {

TChartControl::TChartControl(ChartFacility& chart, int range, MessageBoxes& boxes)
    : FChart(chart), boxes_(boxes) {
    if (range < 1) {
        throw std::invalid_argument("chart page length must be at least 1");
    }
    setRange(range);
    FChart.setHorizontalAutomatic(false);
    FChart.setHorizontalRange(1, FRange);
    FTotalPage = 1;
    FCurPage = 1;
}

// Pages that `points` points fill: points / Range rounded up, 0 for none.
int TChartControl::pagesFor(long long points) const {
    const long long pages = points / FRange + (points % FRange > 0 ? 1 : 0);
    return static_cast<int>(std::min<long long>(pages, INT_MAX));
}

void TChartControl::scroll(long long times, double d) {
    for (long long i = 0; i < times; ++i) {
        FChart.limitedScrollHorizontal(d);
    }
}

void TChartControl::Add(double value) {
    FChart.appendToAllSeries(value, kPointColour);
    FPointCount = FChart.pointCount();
    FTotalPage = pagesFor(FPointCount);
    if (FPause) {
        return;
    }
    FChart.limitedScrollHorizontal(FRange);
    FCurPage = FTotalPage;
}

void TChartControl::First() {
    if (FTotalPage < 2 || FCurPage == 1) {
        return;
    }
    scroll(FCurPage - 1, -FRange);
    FCurPage = 1;
    FPause = true;
}

void TChartControl::Previous() {
    if (FCurPage < 2) {
        return;
    }
    FChart.limitedScrollHorizontal(-FRange);
    FCurPage -= 1;
    FPause = true;
}

void TChartControl::Next() {
    if (FTotalPage < 2 || FCurPage == FTotalPage) {
        return;
    }
    FChart.limitedScrollHorizontal(FRange);
    FCurPage += 1;
    FPause = FCurPage != FTotalPage;
}

void TChartControl::Last() {
    if (FTotalPage < 2 || FCurPage == FTotalPage) {
        return;
    }
    scroll(static_cast<long long>(FTotalPage) - FCurPage, FRange);
    FCurPage = FTotalPage;
    FPause = false;
}

void TChartControl::Clear() {
    First();
    FChart.clearAllSeries();
    FPause = false;
}

void TChartControl::setRange(int v) {
    if (v == FRange || v < 1) {
        return;
    }
    FRange = v;
    // Both limits at once: after paging left of the first reading the
    // window may end below 1, where a minimum of 1 alone would be refused.
    FChart.setHorizontalRange(1, v);
    FTotalPage = pagesFor(FChart.pointCount());
    scroll(static_cast<long long>(FTotalPage) - 1, v);
    FCurPage = FTotalPage;
    FPause = false;
}

void TChartControl::setCurPage(int v) {
    if (v < 1 || v > FTotalPage) {
        boxes_.show(QStringLiteral("The Value must between 1 and %1 !").arg(FTotalPage),
                    QStringLiteral("Error"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    if (v == FCurPage) {
        return;
    }
    FChart.limitedScrollHorizontal(static_cast<double>(v - FCurPage) * FRange);
    FCurPage = v;
    FPause = FCurPage != FTotalPage;
}

void TChartControl::setPage(int v) {
    if (v == FPage) {
        return;
    }
    FPage = v;
    if (v == FCurPage || FTotalPage < 2 || v > FTotalPage || v < 1) {
        return;
    }
    const double step = v > FCurPage ? FRange : -FRange;
    scroll(std::abs(static_cast<long long>(v) - FCurPage), step);
    FCurPage = v;
    FPause = v != FTotalPage;
}

void TChartControl::setAxisXMin(double v) {
    if (v != FAxisXMin) {
        FChart.setHorizontalMinimum(v);
        FAxisXMin = v;
    }
}

void TChartControl::setAxisXMax(double v) {
    if (v != FAxisXMax) {
        FChart.setHorizontalMaximum(v);
        FAxisXMax = v;
    }
}

void TChartControl::setAxisYMin(double v) {
    if (v != FAxisYMin) {
        FChart.setVerticalMinimum(v);
        FAxisYMin = v;
    }
}

void TChartControl::setAxisYMax(double v) {
    if (v != FAxisYMax) {
        FChart.setVerticalMaximum(v);
        FAxisYMax = v;
    }
}

} // namespace velkor
