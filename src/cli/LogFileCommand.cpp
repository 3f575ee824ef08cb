#include "cli/LogFileCommand.h"

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/OutputNames.h"
#include "disk/InputFile.h"
#include "logfiles/LogXmlFile.h"
#include "logfiles/commands/LogFileCommands.h"
#include "logfiles/sqlite/LogSqliteFile.h"
#include "logfiles/workbook/LogWorkbook.h"
#include "meter/MeterVariant.h"
#include "platform/LocaleSource.h"
#include "platform/linux/SystemLocaleSource.h"
#include "version/VelkorVersion.h"

#include <QFile>
#include <QFileInfo>

namespace velkor::cli {

std::optional<qint64> runOption(const CliOptions& opts, QString* error) {
    const auto text = opts.value(QStringLiteral("--run"));
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 run = text->toLongLong(&ok);
    if (!ok || run < 1) {
        *error = QStringLiteral("--run needs the number of a run of an SQLite log (1 or more)");
        return std::nullopt;
    }
    return run;
}

LogRunInfo cliRunInfo(const QString& device) {
    LogRunInfo info;
    info.program = QStringLiteral("velkor-cli " VELKOR_VERSION);
    info.variant = QString::fromLatin1(variantName(buildVariant()));
    info.device = device;
    return info;
}

LogFileResult readLogFile(const QString& fileName, const QLocale& locale, LogRowBuffer* rows,
                          const LogFileReading& how) {
    const bool sqlite = !LogFileCommands::isXmlName(fileName) && isSqliteName(fileName);
    if (!LogFileCommands::isXmlName(fileName) && isCsvName(fileName)) {
        return LogFileResult::failure(
            QStringLiteral("CSV is written for other programs and not read back; "
                           "convert from the .xml, .sqlite or workbook file"));
    }
    if (how.run && !sqlite) {
        return LogFileResult::failure(
            QStringLiteral("--run names a run of an SQLite log (.sqlite, .db)"));
    }
    if (sqlite) { // checks the file itself, without opening it beside a writer
        return readLogSqlite(fileName, *rows, {how.run, how.dates});
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

LogFileResult writeLogFile(const LogTable& table, const QString& fileName, const RowDateFn& dateOf,
                           const LogRunInfo& run) {
    if (LogFileCommands::isXmlName(fileName)) {
        return saveLogXml(table, fileName);
    }
    if (isCsvName(fileName)) {
        return saveLogCsv(table, fileName, dateOf);
    }
    if (isSqliteName(fileName)) {
        return saveLogSqlite(table.store(), fileName, run);
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
        reportError(error.isEmpty() ? QStringLiteral("convert takes IN and OUT") : error);
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
    RowDates dates; // an SQLite log knows the days, for CSV
    how.dates = &dates;
    if (const LogFileResult r = readLogFile(in, locale, &rows, how); !r) {
        reportError(QStringLiteral("cannot read %1: %2").arg(in, r.reason));
        return kExitInput;
    }
    const RowDateFn dateOf = [&dates](qsizetype row) { return dates.dateOf(row); };
    if (const LogFileResult r = writeLogFile(rows, out, dateOf, cliRunInfo(in)); !r) {
        reportError(QStringLiteral("cannot write %1: %2").arg(out, r.reason));
        return kExitOutput;
    }
    return kExitOk;
}

} // namespace velkor::cli
