// Log grid cost: one row appended to a measurement table that already holds
// many rows, the grid following it to the newest row and repainted offscreen
// (as the window does once per reading).
#include "record/LogGrid.h"
#include "record/LogStore.h"
#include "record/MeasurementTable.h"

#include <QApplication>
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
        std::vector<LogRecord> records;
        for (long long i = 0; i < rows; ++i) {
            records.push_back(record(next++));
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
        table.appendLogged(i + 1, LogStore::clockTimeCode(i % 86400), QStringLiteral("DC"),
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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
