// Log files with a large log: XML save and load, workbook export and
// import, and (in GUI builds) the report's layout. Each benchmark reports
// the table's own bytes and how far the process's peak memory grew while it
// ran; run one benchmark per process (--benchmark_filter) for a clean peak.
#include "BenchMain.h"
#include "record/LogRowBuffer.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/workbook/LogWorkbook.h"
#ifdef VELKOR_BENCH_REPORT
#include "record/report/LogReport.h"
#include <QGuiApplication>
#endif

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace velkor;

namespace {

constexpr qsizetype kRows = 1000000;

double peakMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// A log as the meter makes it: one reading a second, a value that wanders,
// a few functions, units and judgements.
const LogRowBuffer& bigLog() {
    static const LogRowBuffer log = [] {
        LogRowBuffer b;
        const char* functions[] = {"DC", "AC", "OHM"};
        const char* units[] = {"V", "mV", "k*"};
        for (qsizetype i = 0; i < kRows; ++i) {
            const int s = static_cast<int>(i % 86400);
            const QString time = QStringLiteral("%1:%2:%3")
                                     .arg(s / 3600, 2, 10, QChar(u'0'))
                                     .arg(s / 60 % 60, 2, 10, QChar(u'0'))
                                     .arg(s % 60, 2, 10, QChar(u'0'));
            const QString value =
                QStringLiteral("%1.%2").arg((i * 7) % 600, 3, 10, QChar(u'0')).arg(i % 10);
            const QString fn = QString::fromLatin1(functions[(i / 1000) % 3]);
            const QString unit = QString::fromLatin1(units[(i / 1000) % 3]);
            const QString judge = (i % 17) ? QStringLiteral("pass") : QStringLiteral("Fail");
            b.append(static_cast<qint32>(i + 1), {time, fn, value, unit, judge});
        }
        return b;
    }();
    return log;
}

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

void report(benchmark::State& state, double peakBefore, std::size_t tableBytes) {
    state.counters["rows"] = static_cast<double>(kRows);
    state.counters["table_MB"] = static_cast<double>(tableBytes) / (1 << 20);
    state.counters["peak_growth_MB"] = peakMb() - peakBefore;
}

void XmlSave(benchmark::State& state) {
    const LogRowBuffer& log = bigLog();
    const QString path = workDir().filePath(QStringLiteral("bench.xml"));
    const double before = peakMb();
    for (auto _ : state) {
        if (!saveLogXml(log, path)) {
            state.SkipWithError("save failed");
        }
    }
    report(state, before, log.bytes());
    state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / (1 << 20);
}

void XmlLoad(benchmark::State& state) {
    const QString path = workDir().filePath(QStringLiteral("bench-load.xml"));
    saveLogXml(bigLog(), path);
    LogRowBuffer table;
    const double before = peakMb();
    for (auto _ : state) {
        const LogFileResult r = loadLogXml(path, table);
        if (!r || table.rowCount() != kRows) {
            state.SkipWithError("load failed");
        }
    }
    report(state, before, table.bytes());
}

void WorkbookExport(benchmark::State& state) {
    const LogRowBuffer& log = bigLog();
    const QString path = workDir().filePath(QStringLiteral("bench.xlsx"));
    const double before = peakMb();
    for (auto _ : state) {
        QString reason;
        if (exportLogWorkbook(log, path, &reason) != WorkbookExportStatus::Saved) {
            state.SkipWithError("export failed");
        }
    }
    report(state, before, log.bytes());
    state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / (1 << 20);
}

void WorkbookImport(benchmark::State& state) {
    const QString path = workDir().filePath(QStringLiteral("bench-import.xlsx"));
    QString reason;
    exportLogWorkbook(bigLog(), path, &reason);
    const double before = peakMb();
    LogRowBuffer table;
    for (auto _ : state) {
        table.clear();
        LogRowBuffer rows;
        bool six = false;
        const LogFileResult r = readLogWorkbook(path, QLocale::c(), &rows, &six);
        if (!r || !six || rows.rowCount() != kRows) {
            state.SkipWithError("import failed");
        }
        table.appendRows(rows);
    }
    report(state, before, table.bytes());
}

#ifdef VELKOR_BENCH_REPORT
void ReportLayout(benchmark::State& state) {
    const LogRowBuffer& log = bigLog();
    const double before = peakMb();
    for (auto _ : state) {
        const LogReport report(log);
        benchmark::DoNotOptimize(report.pageCount());
    }
    report(state, before, log.bytes());
}
BENCHMARK(ReportLayout)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

BENCHMARK(XmlSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(XmlLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(WorkbookExport)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(WorkbookImport)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
#ifdef VELKOR_BENCH_REPORT
    return velkor::bench::runBenchmarks<QGuiApplication>(argc, argv);
#else
    return velkor::bench::runBenchmarks<QCoreApplication>(argc, argv);
#endif
}
