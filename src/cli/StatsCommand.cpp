// velkor-cli stats: the statistics of log files, read as convert reads them.

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LogFileCommand.h"
#include "cli/StatisticsReport.h"
#include "logfiles/CsvLine.h"
#include "platform/linux/SystemLocaleSource.h"
#include "record/LogRowBuffer.h"
#include "stats/LogStatistics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace velkor::cli {

int runStats(const QStringList& args) {
    const CliOptions opts(args, {}, {QStringLiteral("--csv"), QStringLiteral("--json")});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    const bool csv = opts.flag(QStringLiteral("--csv"));
    const bool json = opts.flag(QStringLiteral("--json"));
    QString error = opts.error();
    if (error.isEmpty() && csv && json) {
        error = QStringLiteral("--csv and --json exclude each other");
    }
    if (error.isEmpty() && opts.positional().isEmpty()) {
        error = QStringLiteral("stats takes one LOG or more");
    }
    if (!error.isEmpty()) {
        reportError(error);
        return kExitUsage;
    }

    const QLocale locale = SystemLocaleSource().userLocale();
    int status = kExitOk;
    CsvLine line;
    QJsonArray files;
    if (csv) {
        appendStatisticsCsvHeader(line);
        std::fputs(std::string(line.terminated()).c_str(), stdout);
    }
    bool firstTable = true;
    for (const QString& file : opts.positional()) {
        LogRowBuffer rows;
        if (const LogFileResult r = readLogFile(file, locale, &rows); !r) {
            reportError(QStringLiteral("cannot read %1: %2").arg(file, r.reason));
            status = kExitInput;
            continue;
        }
        LogStatistics statistics;
        statistics.addRows(rows, 0, rows.rowCount());
        if (csv) {
            std::fputs(statisticsCsvLines(line, file, statistics).c_str(), stdout);
        } else if (json) {
            files.append(QJsonObject{{QStringLiteral("file"), file},
                                     {QStringLiteral("rows"), qint64(statistics.rows())},
                                     {QStringLiteral("groups"), statisticsJson(statistics)}});
        } else {
            std::printf("%s%s: %lld rows\n%s", firstTable ? "" : "\n", qPrintable(file),
                        static_cast<long long>(statistics.rows()),
                        statisticsTable(statistics).c_str());
            firstTable = false;
        }
        std::fflush(stdout);
    }
    if (json) {
        std::fputs(QJsonDocument(files).toJson(QJsonDocument::Indented).constData(), stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        reportError(QStringLiteral("cannot write to standard output"));
        return kExitOutput;
    }
    return status;
}

} // namespace velkor::cli
