// The log grid with a long log, off screen. One row appended to a table that
// already holds many rows, the grid following it to the newest row and
// repainted (the grid alone, with the heap the table and the grid hold per
// row); and one frame through the main window's frame path (decode, judge,
// log, grid) with the grid repainted.
#include "BenchMain.h"
#include "app/TFCOMM.h"
#include "app/VelkorApplication.h"
#include "pipeline/MeterSession.h"
#include "platform/LocaleSource.h"
#include "platform/MessageBoxes.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "platform/linux/LinuxPlatform.h"
#include "record/TimeTexts.h"
#include "record/MeasurementTable.h"
#include "record/view/LogGrid.h"
#include "sim/FrameEncoder.h"
#include "support/FixedLocaleSource.h"

#include <QImage>
#include <QPainter>
#include <QTableView>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <vector>

using namespace velkor;

namespace {

struct GridFixture {
    explicit GridFixture(long long rows) {
        grid.resize(303, 241);
        bindLogGrid(grid, table, grid.font());
        LogRowBuffer records;
        for (long long i = 0; i < rows; ++i) {
            records.append(record(next++));
        }
        // Heap held for the rows by the table and the grid together.
        const std::size_t before = heapInUse();
        table.appendRows(records);
        grid.show();
        QCoreApplication::processEvents();
        heapPerRow = rows ? double(heapInUse() - before) / double(rows) : 0;
    }
    static std::size_t heapInUse() {
        const struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    }
    static LogRecord record(long long n) {
        const auto i = static_cast<std::int32_t>(n);
        return LogRecord{i + 1,
                         QStringLiteral("%1:%2:%3")
                             .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                             .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(i % 60, 2, 10, QLatin1Char('0')),
                         QStringLiteral("DC"),
                         QString::number(i % 6000),
                         QStringLiteral("V"),
                         QStringLiteral("pass"),
                         std::nullopt};
    }
    // One row as the record rules log it.
    void append() {
        const auto i = static_cast<std::int32_t>(next++);
        table.appendLogged(i + 1, clockTimeText(QTime::fromMSecsSinceStartOfDay(i % 86400 * 1000)),
                           QStringLiteral("DC"),
                           QString::number(i % 6000), QStringLiteral("V"), QStringLiteral("pass"));
    }

    MeasurementTable table;
    QTableView grid;
    long long next = 0;
    double heapPerRow = 0;
};

void BM_AppendAndRepaint(benchmark::State& state) {
    GridFixture f(state.range(0));
    QImage image(f.grid.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        f.append();
        QCoreApplication::processEvents();
        QPainter painter(&image);
        f.grid.render(&painter);
    }
    state.counters["rows"] = static_cast<double>(f.table.rowCount());
    state.counters["heap bytes/row"] = f.heapPerRow;
}
BENCHMARK(BM_AppendAndRepaint)->Arg(100)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

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

    explicit Window(long long rows) {
        window.show();
        window.limitess->trigger();
        LogRowBuffer records;
        const LogRecord row{1, QStringLiteral("09:05:03"), QStringLiteral("DC"),
                            QStringLiteral("012.3"), QStringLiteral("V"), QStringLiteral("pass"),
                            std::nullopt};
        for (long long i = 0; i < rows; ++i) {
            records.append(row);
        }
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
    return velkor::bench::runBenchmarks<VelkorApplication>(argc, argv);
}
