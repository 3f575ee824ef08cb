// Trend chart cost: one reading added to a chart that already holds many
// points, then the chart repainted offscreen (as the window does once per
// reading). The chart gives Qt Charts only the visible window, so the cost
// should not depend on the number of points held.
#include "BenchMain.h"
#include "chart/TChartControl.h"
#include "chart/view/TrendChartView.h"
#include "platform/MessageBoxes.h"
#include "platform/headless/ScriptedMessageBoxes.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace velkor;

namespace {

struct ChartFixture {
    explicit ChartFixture(long long points) : ctrl(view.model(), 100, boxes) {
        view.resize(350, 316);
        view.model().fillSampleValues(1);
        showOnlySeries(view.model(), 0);
        view.model().setVerticalRange(-6000, 6000);
        for (long long i = 1; i < points; ++i) {
            ctrl.Add(reading(i));
        }
        view.refresh();
    }
    static double reading(long long i) { return 5000 * std::sin(static_cast<double>(i) / 37); }

    ScriptedMessageBoxes boxes;
    TrendChartView view;
    TChartControl ctrl;
};

// Add one reading, let the event loop apply it and paint the chart into an
// image of its size.
void BM_AddAndRepaint(benchmark::State& state) {
    ChartFixture f(state.range(0));
    QImage image(f.view.size(), QImage::Format_RGB32);
    long long i = f.view.model().pointCount();
    for (auto _ : state) {
        f.ctrl.Add(ChartFixture::reading(i++));
        // The queued redraw of the series and the chart's layout, as the
        // event loop runs them after each reading.
        QCoreApplication::processEvents();
        QPainter painter(&image);
        f.view.render(&painter);
    }
    state.counters["points"] = static_cast<double>(f.view.model().pointCount());
}
BENCHMARK(BM_AddAndRepaint)->Arg(100)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The same through QWidget::grab, as the bitmap save does.
void BM_AddAndGrab(benchmark::State& state) {
    ChartFixture f(state.range(0));
    long long i = f.view.model().pointCount();
    for (auto _ : state) {
        f.ctrl.Add(ChartFixture::reading(i++));
        f.view.refresh();
        benchmark::DoNotOptimize(f.view.grab());
    }
}
BENCHMARK(BM_AddAndGrab)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Adding alone (no drawing), 1,000,000 points held.
void BM_AddOnly(benchmark::State& state) {
    ChartFixture f(state.range(0));
    long long i = f.view.model().pointCount();
    for (auto _ : state) {
        f.ctrl.Add(ChartFixture::reading(i++));
    }
}
BENCHMARK(BM_AddOnly)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return velkor::bench::runBenchmarks<QApplication>(argc, argv);
}
