// Decode throughput: frames per second through the serial frame assembler and
// the decoding pass, with a pass host that does nothing else.
#include "logfiles/CsvLine.h"
#include "cli/ReadingCsv.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "platform/linux/SystemLocaleSource.h"
#include "sim/DemoScenario.h"
#include "support/FixedLocaleSource.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace velkor;

namespace {

std::vector<std::uint8_t> demoStream() {
    std::vector<std::uint8_t> s{0x0A};
    for (const auto& step : demoScenario()) {
        const auto b = step.frame.bytes();
        s.insert(s.end(), b.begin(), b.end());
    }
    return s;
}

void runStream(benchmark::State& state, const LocaleSource& locale, std::size_t chunk) {
    const auto stream = demoStream();
    const auto framesPerStream = static_cast<std::int64_t>(demoScenario().size());
    PassHost host;
    MeterPipeline pipeline(MeterVariant::IFHALVIN, locale, host);
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - pos);
            pipeline.receive(stream.data() + pos, static_cast<std::ptrdiff_t>(n));
        }
        benchmark::DoNotOptimize(pipeline.decoder().reading.ScaledValue);
    }
    state.SetItemsProcessed(state.iterations() * framesPerStream);
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * framesPerStream), benchmark::Counter::kIsRate);
}

// The locale as the program reads it, chunks as a 100 ms poll delivers them.
void BM_DecodeSystemLocale(benchmark::State& state) {
    SystemLocaleSource locale;
    runStream(state, locale, static_cast<std::size_t>(state.range(0)));
}
BENCHMARK(BM_DecodeSystemLocale)->Arg(1)->Arg(64)->Arg(2048);

void BM_DecodeFixedLocale(benchmark::State& state) {
    FixedLocaleSource locale(QStringLiteral("."));
    runStream(state, locale, 2048);
}
BENCHMARK(BM_DecodeFixedLocale);

// What velkor-cli decode does per frame, without the file: the pass and the
// CSV line built into its buffer.
void BM_DecodeToCsvLine(benchmark::State& state) {
    SystemLocaleSource locale;
    const auto stream = demoStream();
    const auto framesPerStream = static_cast<std::int64_t>(demoScenario().size());
    PassHost host;
    MeterPipeline pipeline(MeterVariant::IFHALVIN, locale, host);
    CsvLine line;
    std::size_t bytes = 0;
    pipeline.setOnDecoded([&] {
        buildReadingCsvLine(line, pipeline.decoder());
        bytes += line.terminated().size();
    });
    for (auto _ : state) {
        pipeline.receive(stream.data(), static_cast<std::ptrdiff_t>(stream.size()));
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * framesPerStream), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeToCsvLine);

} // namespace

BENCHMARK_MAIN();
