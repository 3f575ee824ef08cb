// Measurement log cost: memory per logged reading (table row and chart
// point together) and the time from a decoded reading to its row and chart
// point, without drawing.
#include "chart/ChartModel.h"
#include "chart/TChartControl.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "platform/HandlerTimer.h"
#include "platform/LocaleSource.h"
#include "platform/MessageBoxes.h"
#include "platform/headless/ManualTimer.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/linux/SystemClock.h"
#include "sim/FrameEncoder.h"
#include "support/FixedClock.h"
#include "support/FixedLocaleSource.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

using namespace velkor;

namespace {

// A session as the window runs it: the "無制限" limit, the chart with its
// placeholder point and its controller, the real clock.
struct Logging {
    explicit Logging(const Clock& clock) : session({t1, t4, t3}, clock, locale) {
        session.attachChart(&chart, &chartCtrl);
        session.bindReading(pipeline.decoder().reading);
        session.applyLimitStartValues(pipeline.startValues());
        session.applyRecordStartValues(pipeline.startValues());
        session.log.limitessClick();
        chart.fillSampleValues(1);
    }

    FixedLocaleSource locale{QStringLiteral("."), QStringLiteral(".")};
    ManualTimer t1{500}, t4{500}, t3{1000};
    ScriptedMessageBoxes boxes;
    ChartModel chart;
    TChartControl chartCtrl{chart, 100, boxes};
    MeterSession session;
    MeterPipeline pipeline{MeterVariant::IFHALVIN, locale, session};
};

// Frames of a slowly varying DC voltage, 2000 different values.
std::vector<std::string> frames() {
    std::vector<std::string> out;
    for (int i = 0; i < 2000; ++i) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%d.%03d", i % 3 ? "" : "-", i / 1000, i % 1000);
        out.push_back(
            meterFrame(text, {status1::Auto | status1::DC, 0, 0, status4::Volt}).frameHex());
    }
    return out;
}

// Readings decoded once, to be logged over and over.
std::vector<Reading> decodedReadings() {
    FixedClock clock;
    Logging l(clock);
    std::vector<Reading> out;
    for (const auto& hex : frames()) {
        l.pipeline.decoder().FrameHex = hex;
        l.pipeline.decodeFrame();
        out.push_back(l.pipeline.decoder().reading);
    }
    return out;
}

// A clock that moves half a second per row logged.
class SteppingClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 1, 1), timeOfDay()); }
    qint64 monotonicMs() const override { return ms_; }
    QTime timeOfDay() const override {
        const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms_ % 86'400'000));
        ms_ += 500;
        return t;
    }

private:
    mutable qint64 ms_ = 0;
};

std::size_t heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd; // small blocks and mapped large ones
}

// Heap bytes per logged reading after 1,000,000 readings: the table's rows
// and interned texts and the chart's points, with the allocator's own
// overhead. The clock moves half a second per reading, so the time texts
// run through whole days.
void BM_MemoryPerLoggedRow(benchmark::State& state) {
    const auto readings = decodedReadings();
    const long long count = state.range(0);
    double perRow = 0;
    double tableRows = 0;
    double chartPoints = 0;
    for (auto _ : state) {
        SteppingClock clock;
        const std::size_t before = heapInUse();
        auto l = std::make_unique<Logging>(clock);
        for (long long i = 0; i < count; ++i) {
            Reading& r = l->pipeline.decoder().reading;
            r = readings[static_cast<std::size_t>(i) % readings.size()];
            l->session.judgeReading(r);
            l->session.INDataToTable(0);
        }
        const std::size_t after = heapInUse();
        perRow = static_cast<double>(after - before) / static_cast<double>(count);
        tableRows =
            static_cast<double>(l->session.cds1.store().bytes()) / static_cast<double>(count);
        chartPoints = static_cast<double>(l->chart.pointCount());
        benchmark::DoNotOptimize(l->session.cds1.rowCount());
    }
    state.counters["bytes/row"] = perRow;
    state.counters["rowstore bytes/row"] = tableRows;
    state.counters["chart points"] = chartPoints;
}
BENCHMARK(BM_MemoryPerLoggedRow)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

// From a decoded reading to its row and chart point: the judge (three
// numbers parsed), the record rule, the row, the bar and the chart's Add.
void BM_ReadingToRowAndPoint(benchmark::State& state) {
    const auto readings = decodedReadings();
    SystemClock clock;
    Logging l(clock);
    std::size_t i = 0;
    for (auto _ : state) {
        Reading& r = l.pipeline.decoder().reading;
        r = readings[i++ % readings.size()];
        l.session.judgeReading(r);
        l.session.INDataToTable(0);
    }
    state.counters["rows"] = static_cast<double>(l.session.cds1.rowCount());
}
BENCHMARK(BM_ReadingToRowAndPoint)->Iterations(1'000'000)->Unit(benchmark::kNanosecond);

// The whole pass from frame text to row and chart point, for comparison.
void BM_FrameToRowAndPoint(benchmark::State& state) {
    const auto hex = frames();
    SystemClock clock;
    Logging l(clock);
    std::size_t i = 0;
    for (auto _ : state) {
        l.pipeline.decoder().FrameHex = hex[i++ % hex.size()];
        l.pipeline.decodeFrame();
    }
    state.counters["rows"] = static_cast<double>(l.session.cds1.rowCount());
}
BENCHMARK(BM_FrameToRowAndPoint)->Iterations(1'000'000)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
