#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/StreamInput.h"
#include "decode/DemoScenario.h"
#include "decode/LocaleSource.h"
#include "decode/MeterPipeline.h"
#include "decode/PassHost.h"
#include "decode/ReadingCsv.h"

#include <cstdio>

namespace velkor::cli {

int runDecode(const QStringList& args) {
    const CliOptions opts(args, {QStringLiteral("--variant")}, {});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    const auto variant = streamCommandVariant(opts, QStringLiteral("decode"));
    if (!variant) {
        return kExitUsage;
    }

    StreamInput input;
    if (!input.open(opts.positional().first())) {
        return kExitInput;
    }

    SystemLocaleSource locale;
    PassHost host;
    MeterPipeline pipeline(*variant, locale, host);
    std::string out = readingCsvHeader().toStdString() + '\n';
    std::fputs(out.c_str(), stdout);
    pipeline.setOnDecoded([&] {
        out = readingCsvLine(pipeline.decoder()).toStdString();
        out += '\n';
        std::fputs(out.c_str(), stdout);
    });

    const int status = input.pump(pipelineFeed(pipeline));
    std::fflush(stdout);
    return status;
}

int runDemoStream(const QStringList& args) {
    const CliOptions opts(args, {QStringLiteral("--count")}, {});
    if (!opts.ok() || !opts.positional().isEmpty()) {
        reportError(opts.ok() ? QStringLiteral("demo takes no FILE") : opts.error());
        return kExitUsage;
    }
    long count = -1;
    if (const auto c = opts.value(QStringLiteral("--count"))) {
        bool ok = false;
        count = c->toLong(&ok);
        if (!ok || count < 0) {
            reportError(QStringLiteral("--count needs a whole number"));
            return kExitUsage;
        }
    }
    const auto scenario = demoScenario();
    long written = 0;
    std::fputc(0x0A, stdout); // the line feed a running stream has before its first frame
    for (bool done = false; !done;) {
        for (const auto& step : scenario) {
            for (int r = 0; r < step.repeats; ++r) {
                if (count >= 0 && written >= count) {
                    done = true;
                    break;
                }
                const auto b = step.frame.bytes();
                std::fwrite(b.data(), 1, b.size(), stdout);
                ++written;
            }
            if (done) {
                break;
            }
        }
        if (count < 0) {
            done = true;
        }
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitInput;
}

} // namespace velkor::cli
