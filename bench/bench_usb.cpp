// The USB cable path: frames per second from input reports through the frame
// assembly and the decoding pass, and reports per second through a reader's
// hand-over to the user-interface thread (over the substitute HID system).
#include "../tests/support/FakeHidPlatform.h"
#include "BenchMain.h"
#include "link/connection/LinkCounters.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/UsbFrameAssembler.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "sim/DemoScenario.h"
#include "support/FixedLocaleSource.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <vector>

using namespace velkor;

namespace {

// The demo walk as the cable delivers it: up to seven serial bytes per report
// (count byte F1..F7), one report without payload after each frame.
std::vector<std::vector<std::uint8_t>> demoReports() {
    std::vector<std::vector<std::uint8_t>> reports;
    for (const auto& step : demoScenario()) {
        const auto b = step.frame.bytes();
        for (std::size_t i = 0; i < b.size(); i += 7) {
            std::vector<std::uint8_t> r(8, 0);
            const std::size_t n = std::min<std::size_t>(7, b.size() - i);
            r[0] = static_cast<std::uint8_t>(0xF0 | n);
            std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(i), n, r.begin() + 1);
            reports.push_back(r);
        }
        reports.push_back({0xF0, 0, 0, 0, 0, 0, 0, 0});
    }
    return reports;
}

void BM_UsbReportsToReadings(benchmark::State& state) {
    const auto reports = demoReports();
    const auto frames = static_cast<std::int64_t>(demoScenario().size());
    FixedLocaleSource locale(QStringLiteral("."));
    PassHost host;
    MeterPipeline pipeline(MeterVariant::IFHALVIN, locale, host);
    LinkCounters counters;
    UsbFrameAssembler assembler(pipeline.decoder().FrameHex, counters.EmptyReportCount,
                                [&] { pipeline.decodeFrame(); });
    for (auto _ : state) {
        for (const auto& r : reports) {
            assembler.take(UsbFrameAssembler::FrameEnd::Decode, r.data(),
                           static_cast<std::uint16_t>(r.size()));
        }
        benchmark::DoNotOptimize(pipeline.decoder().reading.ScaledValue);
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UsbReportsToReadings);

void BM_ReaderHandOver(benchmark::State& state) {
    test::FakeHidPlatform fake;
    fake.plug(test::FakeHidDevice{});
    fake.setEndlessReports(QStringLiteral("/dev/hidraw0"), [](std::uint64_t) {
        return std::vector<std::uint8_t>{0, 0xF1, 0x2B};
    });
    TJvHidDeviceController ctl(fake);
    ctl.Loaded();
    ctl.DeviceChange();
    TJvHidDevice* dev = nullptr;
    ctl.CheckOutByIndex(dev, 0);
    std::int64_t delivered = 0;
    dev->setOnData(
        [&](TJvHidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++delivered; });
    constexpr std::int64_t kBatch = 1000;
    for (auto _ : state) {
        const std::int64_t until = delivered + kBatch;
        while (delivered < until) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    state.counters["reports/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kBatch), benchmark::Counter::kIsRate);
    delete dev;
}
BENCHMARK(BM_ReaderHandOver)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return velkor::bench::runBenchmarks<QCoreApplication>(argc, argv);
}
