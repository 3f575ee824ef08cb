#include "cli/LogFileCommand.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/OutputNames.h"
#include "disk/InputFile.h"
#include "platform/LocaleSource.h"
#include "platform/linux/SystemLocaleSource.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/commands/LogFileCommands.h"
#include "logfiles/workbook/LogWorkbook.h"

#include <QFile>
#include <QFileInfo>

namespace velkor::cli {

LogFileResult readLogFile(const QString& fileName, const QLocale& locale, LogRowBuffer* rows) {
    if (!LogFileCommands::isXmlName(fileName) && isCsvName(fileName)) {
        return LogFileResult::failure(
            QStringLiteral("CSV is written for other programs and not read back; "
                           "convert from the .xml or workbook file"));
    }
    if (const LogFileResult r = checkInputFile(fileName); !r) {
        return r;
    }
    if (LogFileCommands::isXmlName(fileName)) {
        QFile f(fileName);
        if (!f.open(QIODevice::ReadOnly)) {
            return LogFileResult::failure(f.errorString());
        }
        return readLogXml(f, *rows);
    }
    bool sixColumns = false;
    LogFileResult r = readLogWorkbook(fileName, locale, rows, &sixColumns);
    if (r && !sixColumns) {
        return LogFileResult::failure(
            QStringLiteral("the first worksheet's used range is not six columns wide"));
    }
    return r;
}

LogFileResult writeLogFile(const LogTable& table, const QString& fileName,
                           const RowDateFn& dateOf) {
    if (LogFileCommands::isXmlName(fileName)) {
        return saveLogXml(table, fileName);
    }
    if (isCsvName(fileName)) {
        return saveLogCsv(table, fileName, dateOf);
    }
    QString reason;
    switch (exportLogWorkbook(table, fileName, &reason)) {
    case WorkbookExportStatus::Saved: return LogFileResult::success();
    case WorkbookExportStatus::LibraryUnavailable:
        return LogFileResult::failure(QStringLiteral("the workbook library did not start"));
    case WorkbookExportStatus::Failed: break;
    }
    return LogFileResult::failure(reason);
}

int runConvert(const QStringList& args) {
    const CliOptions opts(args, {}, {});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    if (!opts.ok() || opts.positional().size() != 2) {
        reportError(opts.ok() ? QStringLiteral("convert takes IN and OUT") : opts.error());
        return kExitUsage;
    }
    const QString in = opts.positional()[0];
    const QString out = opts.positional()[1];
    if (const QString error = logFormError(QStringLiteral("convert OUT"), out); !error.isEmpty()) {
        reportError(error);
        return kExitUsage;
    }
    const QLocale locale = SystemLocaleSource().userLocale();
    LogRowBuffer rows;
    if (const LogFileResult r = readLogFile(in, locale, &rows); !r) {
        reportError(QStringLiteral("cannot read %1: %2").arg(in, r.reason));
        return kExitInput;
    }
    if (const LogFileResult r = writeLogFile(rows, out); !r) {
        reportError(QStringLiteral("cannot write %1: %2").arg(out, r.reason));
        return kExitOutput;
    }
    return kExitOk;
}

} // namespace velkor::cli
