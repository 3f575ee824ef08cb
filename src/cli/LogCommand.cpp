// velkor-cli log: judges and logs a stream or a live meter as the window's
// measurement log does, printing each logged row, and saves the log however
// the run ends.

#include "cli/Commands.h"
#include "cli/LogOptions.h"
#include "cli/LogRun.h"
#include "cli/QuitOnSignal.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <csignal>

namespace velkor::cli {

int runLog(const QStringList& args) {
    bool help = false;
    const auto options = parseLogOptions(args, &help);
    if (help) {
        printUsage(false);
        return kExitOk;
    }
    if (!options) {
        return kExitUsage;
    }
    // Standard output that goes away (a closed pipe) is an error to handle
    // with the log saved, not a signal that ends the program without it.
    std::signal(SIGPIPE, SIG_IGN);
    // SIGINT, SIGTERM and SIGHUP end the run with the log saved, from here on.
    const QuitOnSignal quitOnSignal;

    LinuxPlatform platform;
    LogRun run(*options, {platform.clock, platform.locale, platform.serial, platform.portNames,
                          platform.hid});
    run.finished = [](int) { QCoreApplication::quit(); };
    if (!run.start()) {
        return run.exitStatus();
    }
    if (!run.isFinished()) {
        QCoreApplication::exec();
    }
    if (!run.isFinished()) {
        run.stop(); // a signal
    }
    return run.exitStatus();
}

} // namespace velkor::cli
