#include "cli/Commands.h"
#include "version/VelkorVersion.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
#ifdef VELKOR_CLI_REPORT
    // The report draws pages, which takes a GUI application of its own.
    if (argc > 1 && std::strcmp(argv[1], "report") == 0) {
        return velkor::cli::runReport(argc, argv);
    }
#endif
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        velkor::cli::printUsage(true);
        return velkor::cli::kExitUsage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        velkor::cli::printUsage(false);
        return velkor::cli::kExitOk;
    }
    if (command == QLatin1String("--version")) {
        std::printf("velkor-cli %s\n", VELKOR_VERSION);
        return velkor::cli::kExitOk;
    }
    if (command == QLatin1String("decode")) {
        return velkor::cli::runDecode(args);
    }
    if (command == QLatin1String("read") && args.contains(QLatin1String("--hid"))) {
        return velkor::cli::runReadHid(args);
    }
    if (command == QLatin1String("log")) {
        return velkor::cli::runLog(args);
    }
    if (command == QLatin1String("read") && !args.contains(QLatin1String("--hid"))) {
        return velkor::cli::runReadSerial(args);
    }
    if (command == QLatin1String("demo")) {
        return velkor::cli::runDemoStream(args);
    }
    if (command == QLatin1String("convert")) {
        return velkor::cli::runConvert(args);
    }
    if (command == QLatin1String("stats")) {
        return velkor::cli::runStats(args);
    }
    if (command == QLatin1String("report")) { // a build without the Qt GUI
        std::fprintf(stderr, "velkor-cli: report is not part of this build\n");
        return velkor::cli::kExitUsage;
    }
    std::fprintf(stderr, "velkor-cli: unknown command '%s'\n", qPrintable(command));
    velkor::cli::printUsage(true);
    return velkor::cli::kExitUsage;
}
