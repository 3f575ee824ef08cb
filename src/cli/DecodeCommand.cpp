#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/ReadingPrinter.h"
#include "cli/StreamInput.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "platform/linux/SystemLocaleSource.h"
#include "sim/DemoScenario.h"

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
    ReadingPrinter printer(pipeline);
    printer.printHeader();

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
    QString error;
    const long count = opts.count(&error);
    if (!error.isEmpty()) {
        reportError(error);
        return kExitUsage;
    }
    DemoWalk walk;
    const long frames = count >= 0 ? count : walk.framesPerWalk();
    std::fputc(0x0A, stdout); // the line feed a running stream has before its first frame
    for (long i = 0; i < frames; ++i) {
        const auto b = walk.next().frame.bytes();
        std::fwrite(b.data(), 1, b.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitInput;
}

} // namespace velkor::cli
