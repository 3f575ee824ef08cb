#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <benchmark/benchmark.h>

namespace velkor::bench {

// Runs the registered benchmarks inside an application object of type App,
// which gives timers their event dispatcher and, for a GUI application, a
// platform: off screen unless QT_QPA_PLATFORM names another.
template <class App> int runBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace velkor::bench
