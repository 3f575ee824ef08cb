#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/ReadingPrinter.h"
#include "decode/DemoScenario.h"
#include "decode/LocaleSource.h"
#include "decode/MeterPipeline.h"
#include "decode/PassHost.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velkor::cli {

int runDecode(const QStringList& args) {
    const CliOptions opts(args, {QStringLiteral("--variant")}, {});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    QString error = opts.error();
    const auto variant = opts.ok() ? opts.variant(&error) : std::nullopt;
    if (!variant || opts.positional().size() != 1) {
        reportError(error.isEmpty() ? QStringLiteral("decode takes one FILE (or -)") : error);
        return kExitUsage;
    }

    const QString path = opts.positional().first();
    FILE* in = path == QLatin1String("-") ? stdin : std::fopen(path.toLocal8Bit().constData(), "rb");
    if (!in) {
        reportError(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return kExitInput;
    }

    SystemLocaleSource locale;
    PassHost host;
    MeterPipeline pipeline(*variant, locale, host);
    ReadingPrinter printer(pipeline, false);
    printer.printHeader();

    std::uint8_t buf[4096];
    int status = kExitOk;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, in);
        printer.feed(buf, n);
        if (n < sizeof buf) {
            if (std::ferror(in)) {
                reportError(QStringLiteral("cannot read %1: %2")
                                .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
                status = kExitInput;
            }
            break;
        }
    }
    if (in != stdin) {
        std::fclose(in);
    }
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
