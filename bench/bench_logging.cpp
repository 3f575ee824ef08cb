// Unattended logging: one checkpoint of a log of 1,000,000 rows in each file
// form, exactly as velkor-cli log --checkpoint writes it (the table the
// record rules filled, the rows' dates for CSV, the file written whole and
// flushed to the disk), and the cost of one logged row in the command's
// printed line and in the window's journal. Run one checkpoint benchmark per
// process (--benchmark_filter) for a clean peak.
#include "BenchMain.h"
#include "cli/LogOptions.h"
#include "cli/LogRowCsv.h"
#include "cli/LogRun.h"
#include "meter/Reading.h"
#include "pipeline/MeterSession.h"
#include "platform/linux/ComPortNames.h"
#include "platform/linux/PosixSerialSystem.h"
#include "platform/linux/SystemClock.h"
#include "logfiles/sqlite/LogSqliteJournal.h"
#include "support/FakeHidPlatform.h"
#include "support/FixedClock.h"
#include "support/FixedLocaleSource.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <sys/resource.h>

using namespace velkor;
using namespace velkor::cli;

namespace {

constexpr int kRows = 1000000;

double peakMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// A reading as the decoder leaves it: values that wander over a few
// functions and units.
Reading readingAt(int i) {
    static const char* functions[] = {"DC", "AC", "OHM"};
    static const char* units[] = {"V", "mV", "k*"};
    Reading r;
    r.ValueText = QStringLiteral("%1.%2").arg((i * 7) % 600, 3, 10, QChar(u'0')).arg(i % 10);
    r.FunctionText = QString::fromLatin1(functions[(i / 1000) % 3]);
    r.UnitText = QString::fromLatin1(units[(i / 1000) % 3]);
    r.RangeModeText = QStringLiteral("AUTO");
    r.JudgeText = (i % 17) ? QStringLiteral("pass") : QStringLiteral("Fail");
    r.ScaledValue = (i * 7) % 600 + (i % 10) / 10.0;
    return r;
}

// A log run of the command saving to `name`, its table filled by the record
// rules with kRows rows, one second apart.
struct FilledRun {
    FixedClock clock;
    FixedLocaleSource locale{QStringLiteral(".")};
    ComPortNames names;
    test::FakeHidPlatform hid;
    std::FILE* out = std::fopen("/dev/null", "w");
    std::unique_ptr<LogRun> run;

    explicit FilledRun(const QString& name) {
        const QString input = workDir().filePath(QStringLiteral("empty.bin"));
        QFile(input).open(QIODevice::WriteOnly);
        LogOptions o;
        o.path = input;
        o.save = workDir().filePath(name);
        o.checkpointSeconds = 60;
        run = std::make_unique<LogRun>(
            o, LogPlatform{clock, locale, PosixSerialSystem::instance(), names, hid}, out);
        run->start();
        MeasurementLog& log = run->session().log;
        for (int i = 0; i < kRows; ++i) {
            log.INDataToTable(readingAt(i));
            clock.advanceMs(1000);
        }
    }
    ~FilledRun() {
        run.reset();
        std::fclose(out);
    }
};

void checkpoint(benchmark::State& state, const char* name) {
    FilledRun filled(QString::fromLatin1(name));
    if (filled.run->session().cds1.rowCount() != kRows) {
        state.SkipWithError("the log was not filled");
        return;
    }
    const double before = peakMb();
    for (auto _ : state) {
        if (!filled.run->checkpoint()) {
            state.SkipWithError("checkpoint failed");
        }
    }
    const QString path = workDir().filePath(QString::fromLatin1(name));
    state.counters["rows"] = kRows;
    state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / (1 << 20);
    state.counters["peak_growth_MB"] = peakMb() - before;
    state.counters["table_MB"] =
        static_cast<double>(filled.run->session().cds1.store().bytes()) / (1 << 20);
}

void CheckpointXml(benchmark::State& state) {
    checkpoint(state, "checkpoint.xml");
}
void CheckpointCsv(benchmark::State& state) {
    checkpoint(state, "checkpoint.csv");
}
void CheckpointWorkbook(benchmark::State& state) {
    checkpoint(state, "checkpoint.xlsx");
}

// One row as velkor-cli log prints it.
void PrintedRow(benchmark::State& state) {
    const LogRecord row{123456,
                        QStringLiteral("21:05:03"),
                        QStringLiteral("DC"),
                        QStringLiteral("012.3"),
                        QStringLiteral("V"),
                        QStringLiteral("pass"),
                        std::nullopt};
    const QDateTime moment = QDateTime::currentDateTime();
    std::string line;
    for (auto _ : state) {
        line.clear();
        appendLogRowCsv(line, row, 12.3, moment);
        benchmark::DoNotOptimize(line.data());
    }
}

// One row into the window's journal (handed to the writer's own thread,
// which commits it within a second).
void JournalRow(benchmark::State& state) {
    LogSqliteJournal journal(workDir().filePath(QStringLiteral("journal")), LogRunInfo{});
    if (!journal.open()) {
        state.SkipWithError("no journal");
        return;
    }
    const LogRecord row{123456,
                        QStringLiteral("21:05:03"),
                        QStringLiteral("DC"),
                        QStringLiteral("012.3"),
                        QStringLiteral("V"),
                        QStringLiteral("pass"),
                        std::nullopt};
    const QDateTime moment = SystemClock().now();
    qint64 n = 0;
    for (auto _ : state) {
        journal.append(row, moment);
        if (++n % 100000 == 0) {
            journal.clear();
        }
    }
    journal.finish();
}

} // namespace

BENCHMARK(CheckpointXml)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(CheckpointCsv)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(CheckpointWorkbook)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(PrintedRow);
BENCHMARK(JournalRow);

int main(int argc, char** argv) {
    return velkor::bench::runBenchmarks<QCoreApplication>(argc, argv);
}
