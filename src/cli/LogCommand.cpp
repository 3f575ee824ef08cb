// velkor-cli log: the decoder, the limit judge and the continuous record
// path of the measurement log without a window, printing each logged row
// and, with --save FILE, saving the log when the input ends.

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LogFileCommand.h"
#include "cli/ReadingCsv.h"
#include "cli/StreamInput.h"
#include "decode/LimitJudge.h"
#include "decode/LocaleNumber.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/MeterSession.h"
#include "platform/Clock.h"
#include "platform/HandlerTimer.h"
#include "platform/LocaleSource.h"
#include "platform/headless/ManualTimer.h"
#include "platform/linux/SystemClock.h"
#include "platform/linux/SystemLocaleSource.h"

#include <climits>
#include <cstdio>

namespace velkor::cli {

namespace {

QString logCsvHeader() {
    return QStringLiteral("No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp");
}

// The row just logged, the value given to the chart and the moment, with
// its date, in ISO 8601 local time with milliseconds.
QString logCsvLine(const LogRecord& row, double scaledValue, const QDateTime& now) {
    return (row.No ? QString::number(*row.No) : QString()) + QLatin1Char(',') + csvField(row.Time) +
           QLatin1Char(',') + csvField(row.DCAC) + QLatin1Char(',') + csvField(row.Value) +
           QLatin1Char(',') + csvField(row.Unit) + QLatin1Char(',') + csvField(row.Auto) +
           QLatin1Char(',') + shortestDouble(scaledValue) + QLatin1Char(',') +
           now.toString(Qt::ISODateWithMs);
}

// A limit given on the command line, read as the limit edit reads it: the
// foreign decimal separator normalised as the next frame would, then
// parsed with the user's separator.
std::optional<QString> limitText(const CliOptions& opts, const QString& option,
                                 const QString& startText, const QString& fsDot) {
    const QString text = normalisedSeparator(opts.value(option).value_or(startText), fsDot);
    if (parseLocaleNumber(text, fsDot) == kUnparsedNumber) {
        reportError(QStringLiteral("%1: '%2' is not a number").arg(option, text));
        return std::nullopt;
    }
    return text;
}

} // namespace

int runLog(const QStringList& args) {
    // A meter device as the source (--device PATH) joins these options.
    const CliOptions opts(args,
                          {QStringLiteral("--variant"), QStringLiteral("--hi"),
                           QStringLiteral("--lo"), QStringLiteral("--max-records"),
                           QStringLiteral("--save")},
                          {QStringLiteral("--no-repeat")});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    const auto variant = streamCommandVariant(opts, QStringLiteral("log"));
    if (!variant) {
        return kExitUsage;
    }
    int maxRecords = 10000;
    if (const auto m = opts.value(QStringLiteral("--max-records"))) {
        bool ok = false;
        maxRecords = m->toInt(&ok);
        if (!ok || maxRecords < 0) {
            reportError(
                QStringLiteral("--max-records needs a whole number from 0 to %1").arg(INT_MAX));
            return kExitUsage;
        }
    }

    SystemLocaleSource locale;
    SystemClock clock;
    ManualTimer timer1(500), timer4(500), timer3(1000);
    MeterSession session({timer1, timer4, timer3}, clock, locale);
    MeterPipeline pipeline(*variant, locale, session);
    const StartValues& start = pipeline.startValues();
    session.bindReading(pipeline.decoder().reading);
    session.applyLimitStartValues(start);
    session.applyRecordStartValues(start);

    const auto hi = limitText(opts, QStringLiteral("--hi"), session.limits.T1HI(), start.FsDot);
    const auto lo = limitText(opts, QStringLiteral("--lo"), session.limits.T1LO(), start.FsDot);
    if (!hi || !lo) {
        return kExitUsage;
    }
    session.limits.T1HIChange(*hi);
    session.limits.T1LOChange(*lo);
    session.limits.Timer1Timer();
    session.limits.Timer4Timer();
    session.log.RepeatSet = !opts.flag(QStringLiteral("--no-repeat"));
    session.log.MaxRecords = maxRecords;

    StreamInput input;
    if (!input.open(opts.positional().first())) {
        return kExitInput;
    }
    std::string out = logCsvHeader().toStdString() + '\n';
    std::fputs(out.c_str(), stdout);
    session.log.onRowLogged = [&](const Reading& reading, const QDateTime& now) {
        const LogRecord row = session.cds1.row(session.cds1.rowCount() - 1);
        out = logCsvLine(row, reading.ScaledValue, now).toStdString();
        out += '\n';
        std::fputs(out.c_str(), stdout);
    };
    const int status = input.pump(pipelineFeed(pipeline));
    std::fflush(stdout);
    // The rows logged before a read error are saved too.
    if (const auto save = opts.value(QStringLiteral("--save"))) {
        if (const LogFileResult r = writeLogFile(session.cds1, *save, locale.userLocale()); !r) {
            reportError(QStringLiteral("cannot write %1: %2").arg(*save, r.reason));
            return kExitOutput;
        }
    }
    return status;
}

} // namespace velkor::cli
