// The main window with a long log: one frame through the window's frame path
// (decode, judge, log, grid following the newest row), then the grid
// repainted off screen, with 1,000,000 rows already in the grid.
#include "app/MessageBoxes.h"
#include "app/TFCOMM.h"
#include "app/VelkorApplication.h"
#include "decode/FrameEncoder.h"
#include "decode/LocaleSource.h"
#include "record/MeterSession.h"

#include <QImage>
#include <QPainter>
#include <QTableView>
#include <benchmark/benchmark.h>

#include <vector>

using namespace velkor;

namespace {

struct Window {
    ScriptedMessageBoxes boxes;
    FixedLocaleSource locale{QStringLiteral(".")};
    TFCOMM window{{.boxes = boxes, .locale = locale}};
    std::vector<std::array<std::uint8_t, 14>> frames;

    explicit Window(long long rows) {
        window.show();
        window.limitess->trigger();
        std::vector<LogRecord> records(
            static_cast<std::size_t>(rows),
            LogRecord{1, QStringLiteral("09:05:03"), QStringLiteral("DC"), QStringLiteral("012.3"),
                      QStringLiteral("V"), QStringLiteral("pass"), std::nullopt});
        window.session().cds1.appendRows(records);
        const std::uint8_t lineFeed = 0x0A;
        window.RECEIVE_COM_Data(&lineFeed, 1);
        for (int i = 0; i < 100; ++i) {
            const std::string text = std::to_string(1000 + i * 37 % 5000);
            frames.push_back(
                meterFrame(text, {status1::Auto | status1::DC, 0, 0, status4::Volt}).bytes());
        }
        QCoreApplication::processEvents();
    }
};

void BM_FrameLoggedAndGridRepainted(benchmark::State& state) {
    Window w(state.range(0));
    QTableView* grid = w.window.DBGrid1;
    QImage image(grid->size(), QImage::Format_RGB32);
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& f = w.frames[i++ % w.frames.size()];
        w.window.RECEIVE_COM_Data(f.data(), static_cast<std::ptrdiff_t>(f.size()));
        QCoreApplication::processEvents();
        QPainter painter(&image);
        grid->render(&painter);
    }
    state.counters["rows"] = static_cast<double>(w.window.session().cds1.rowCount());
}
BENCHMARK(BM_FrameLoggedAndGridRepainted)->Arg(100)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    VelkorApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
