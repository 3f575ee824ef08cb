// velkor-cli log: judges and logs a stream or a live meter as the window's
// measurement log does, printing each logged row, and saves the log however
// the run ends; with --mqtt each row is published to a broker as well, with
// --influx written to InfluxDB, and with --http shown live over HTTP.

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/HaRemoveCommand.h"
#include "cli/LogHttp.h"
#include "cli/LogInflux.h"
#include "cli/LogOptions.h"
#include "cli/LogPublisher.h"
#include "cli/LogRun.h"
#include "cli/OutputNames.h"
#include "cli/QuitOnSignal.h"
#include "meter/Reading.h"
#include "pipeline/MeterSession.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>
#include <csignal>
#include <memory>

namespace velkor::cli {

int runLog(const QStringList& args) {
    if (args.contains(QStringLiteral("--ha-remove"))) {
        return runHaRemove(args);
    }
    bool help = false;
    const auto options = parseLogOptions(args, &help);
    if (help) {
        printUsage(false);
        return kExitOk;
    }
    if (!options) {
        return kExitUsage;
    }
    // A log that could not be saved is found out now, not after the run.
    if (const int status = checkLogSaveTarget(*options); status != kExitOk) {
        return status;
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

    // The live view listens before anything else starts: a port that cannot
    // be had ends the run at once.
    std::unique_ptr<LogHttp> http;
    if (options->http) {
        http = std::make_unique<LogHttp>(*options);
        if (const auto error = http->start()) {
            reportError(QStringLiteral("--http %1: %2")
                            .arg(options->http->hostPort(options->http->port), *error));
            return kExitInput;
        }
        run.onDevice = [&http](LogRun::DeviceState state) { http->device(state); };
    }

    // The publisher starts first, so that the broker is being reached while
    // the input opens; what it cannot do at all ends the run before any row.
    std::unique_ptr<LogPublisher> publisher;
    if (options->mqtt) {
        publisher = std::make_unique<LogPublisher>(*options);
        if (const auto error = publisher->start()) {
            reportError(QStringLiteral("%1: %2").arg(options->mqtt->brokerText(), *error));
            return kExitUsage;
        }
        // Refused credentials: the log is saved and the run ends with 1.
        publisher->fatal = [&run] {
            if (!run.isFinished()) {
                run.stop(kExitInput);
            }
        };
        run.alsoOnRow([&publisher](const LogRecord& row, const Reading& reading,
                                   const QDateTime& moment) {
            publisher->publish(row, reading, moment);
        });
    }
    // --influx: after the publisher, on the same rows.
    std::unique_ptr<LogInflux> influx;
    if (options->influx) {
        influx = std::make_unique<LogInflux>(*options);
        if (const auto error = influx->start()) {
            reportError(QStringLiteral("%1: %2").arg(options->influx->shown, *error));
            return kExitUsage;
        }
        influx->fatal = [&run] {
            if (!run.isFinished()) {
                run.stop(kExitInput);
            }
        };
        run.alsoOnRow([&influx](const LogRecord& row, const Reading&, const QDateTime& moment) {
            influx->write(row, moment);
        });
    }
    if (http) {
        run.alsoOnRow([&http](const LogRecord& row, const Reading& reading,
                              const QDateTime& moment) { http->row(row, reading, moment); });
    }
    auto finishPublishing = [&publisher, &influx](bool drain) {
        if (publisher) {
            publisher->finish(drain);
        }
        if (influx) {
            influx->finish(drain);
        }
    };

    if (!run.start()) {
        finishPublishing(false);
        return run.exitStatus();
    }
    if (http) {
        http->limits(run.session().limits.T1HI(), run.session().limits.T1LO());
    }
    if (!run.isFinished()) {
        QCoreApplication::exec();
    }
    // The run ended by itself (the input's end, a lost device) or by a
    // signal; the log is saved before the publisher gets its last seconds.
    const bool bySignal = !run.isFinished();
    if (bySignal) {
        run.stop();
    }
    if (http) {
        http->finish();
    }
    finishPublishing(!bySignal && run.exitStatus() == kExitOk);
    if (((publisher && publisher->failed()) || (influx && influx->failed())) &&
        run.exitStatus() == kExitOk) {
        return kExitInput;
    }
    return run.exitStatus();
}

} // namespace velkor::cli
