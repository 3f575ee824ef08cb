// The main window's share of a frame, off screen: the serial receive handler
// with the panel brought up to date, and painting the meter panel.
#include "BenchMain.h"
#include "app/MeterPanel.h"
#include "app/TFCOMM.h"
#include "app/VelkorApplication.h"
#include "platform/LocaleSource.h"
#include "platform/MessageBoxes.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/linux/LinuxPlatform.h"
#include "sim/DemoScenario.h"
#include "support/FixedLocaleSource.h"

#include <QPixmap>
#include <benchmark/benchmark.h>

#include <vector>

using namespace velkor;

namespace {

struct Window {
    ScriptedMessageBoxes boxes;
    FixedLocaleSource locale{QStringLiteral(".")};
    LinuxPlatform platform;
    TFCOMM window{{.boxes = boxes,
                   .locale = locale,
                   .clock = platform.clock,
                   .serial = platform.serial,
                   .portNames = platform.portNames,
                   .hid = platform.hid}};
    std::vector<std::array<std::uint8_t, 14>> frames;

    Window() {
        window.show();
        const std::uint8_t lineFeed = 0x0A;
        window.RECEIVE_COM_Data(&lineFeed, 1);
        for (const auto& step : demoScenario()) {
            frames.push_back(step.frame.bytes());
        }
    }
};

void BM_WindowFramePath(benchmark::State& state) {
    Window w;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& f = w.frames[i++ % w.frames.size()];
        w.window.RECEIVE_COM_Data(f.data(), static_cast<std::ptrdiff_t>(f.size()));
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WindowFramePath);

void BM_MeterPanelPaint(benchmark::State& state) {
    Window w;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& f = w.frames[i++ % w.frames.size()];
        w.window.RECEIVE_COM_Data(f.data(), static_cast<std::ptrdiff_t>(f.size()));
        benchmark::DoNotOptimize(w.window.Panel1->grab());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeterPanelPaint);

} // namespace

int main(int argc, char** argv) {
    return velkor::bench::runBenchmarks<VelkorApplication>(argc, argv);
}
