// velkor-cli report LOG OUT.pdf: the printed report of a log file, drawn by
// the window's own report code into a PDF file, without a display.

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LogFileCommand.h"
#include "cli/OutputNames.h"
#include "platform/linux/SystemLocaleSource.h"
#include "record/LogRowBuffer.h"
#include "record/report/LogReport.h"

#include <QGuiApplication>

namespace velkor::cli {

int runReport(int argc, char** argv) {
    // Painting pages takes a GUI application, but no screen: off screen,
    // unless the environment names a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.remove(0, 2); // the program and "report"
    const CliOptions opts(args, {QStringLiteral("--run")}, {});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    QString error = opts.error();
    LogFileReading how;
    if (error.isEmpty()) {
        how.run = runOption(opts, &error);
    }
    if (!error.isEmpty() || opts.positional().size() != 2) {
        reportError(error.isEmpty() ? QStringLiteral("report takes LOG and OUT.pdf") : error);
        return kExitUsage;
    }
    const QString in = opts.positional()[0];
    const QString out = opts.positional()[1];
    if (const QString error = reportFormError(out); !error.isEmpty()) {
        reportError(error);
        return kExitUsage;
    }
    LogRowBuffer rows;
    if (const LogFileResult r = readLogFile(in, SystemLocaleSource().userLocale(), &rows, how);
        !r) {
        reportError(QStringLiteral("cannot read %1: %2").arg(in, r.reason));
        return kExitInput;
    }
    const LogReport report(rows);
    if (report.isEmpty()) {
        reportError(QStringLiteral("%1 holds no rows: no report written").arg(in));
        return kExitInput;
    }
    if (const LogFileResult r = report.writePdf(out); !r) {
        reportError(QStringLiteral("cannot write %1: %2").arg(out, r.reason));
        return kExitOutput;
    }
    return kExitOk;
}

} // namespace velkor::cli
