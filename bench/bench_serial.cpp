// The serial poll on a pseudo-terminal: the cost of an idle tick (nothing
// queued: one read and one hang-up check) and the bytes per second one tick
// carries when the line is full, with the receive buffer's default size.
#include "BenchMain.h"
#include "link/serial/TCommPortDriver.h"
#include "platform/linux/PseudoTerminal.h"
#include "support/RealSerialPort.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <sys/ioctl.h>
#include <vector>

using namespace velkor;

namespace {

// A pseudo-terminal line with the driver connected to it.
struct Line {
    PseudoTerminal line;
    test::RealSerialPort real;
    TCommPortDriver& port = real.port;
    bool open() {
        line.open();
        port.setDevicePath(line.slavePath());
        return port.Connect();
    }
};

void IdleTick(benchmark::State& state) {
    Line l;
    if (!l.open()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    TCommPortDriver& port = l.port;
    for (auto _ : state) {
        port.PollTimerProc();
    }
}
BENCHMARK(IdleTick);

void FullTick(benchmark::State& state) {
    Line l;
    if (!l.open()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    PseudoTerminal& line = l.line;
    TCommPortDriver& port = l.port;
    std::int64_t bytes = 0;
    port.setOnReceiveData(
        [&](TCommPortDriver*, const std::uint8_t*, std::int32_t n) { bytes += n; });
    const std::vector<std::uint8_t> block(2048, 0x30);
    for (auto _ : state) {
        state.PauseTiming();
        line.send(block.data(), block.size());
        int queued = 0;
        while (queued < static_cast<int>(block.size())) {
            ioctl(port.ComHandle(), FIONREAD, &queued);
        }
        state.ResumeTiming();
        port.PollTimerProc();
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(FullTick);

} // namespace

int main(int argc, char** argv) {
    return velkor::bench::runBenchmarks<QCoreApplication>(argc, argv);
}
