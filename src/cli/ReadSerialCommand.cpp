// velkor-cli read --device PATH: a meter on a serial line.
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LogSources.h"
#include "cli/QuitOnSignal.h"
#include "cli/ReadingPrinter.h"
#include "cli/StreamInput.h"
#include "link/serial/TCommPortDriver.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCoreApplication>

namespace velkor::cli {

int runReadSerial(const QStringList& args) {
    const CliOptions opts(
        args, {QStringLiteral("--device"), QStringLiteral("--variant"), QStringLiteral("--count")},
        {});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    QString error = opts.error();
    const auto variant = opts.ok() ? opts.variant(&error) : std::nullopt;
    const auto device = opts.value(QStringLiteral("--device"));
    const long count = error.isEmpty() ? opts.count(&error) : -1;
    if (!variant || !error.isEmpty() || !device || device->isEmpty() ||
        !opts.positional().isEmpty()) {
        reportError(error.isEmpty() ? QStringLiteral("read takes --device PATH (or COM1 .. COM4)")
                                    : error);
        return kExitUsage;
    }

    LinuxPlatform platform;
    const LocaleSource& locale = platform.locale;
    PassHost host;
    const MeterVariant v = variant.value_or(buildVariant());
    MeterPipeline pipeline(v, locale, host);
    ReadingPrinter printer(pipeline);

    // The line settings the window gives the port: the variant's speed,
    // 8 data bits, no parity, one stop bit, polled every 100 ms.
    TCommPortDriver port(platform.serial, platform.clock, platform.portNames);
    if (const int n = ComPortNames::portNumberOf(*device); n >= 0) {
        port.setComPort(static_cast<TComPortNumber>(n));
    } else {
        port.setDevicePath(*device);
    }
    port.setComPortSpeed(baudRateOf(variantInfo(v).serialBaud));
    port.setComPortPollingDelay(100);
    if (count != 0 && !port.Connect()) {
        reportError(serialOpenFailure(port, *device));
        return kExitInput;
    }
    printer.printHeader();
    std::fflush(stdout);
    if (count == 0) {
        return kExitOk;
    }

    int status = kExitOk;
    QuitOnSignal quitOnSignal;
    printer.setLimit(count);
    const StreamInput::Feed feed = pipelineFeed(pipeline);
    port.setOnReceiveData([&](TCommPortDriver*, const std::uint8_t* data, std::int32_t size) {
        feed(data, static_cast<std::size_t>(size));
    });
    printer.setAfterLine([&] {
        if (printer.limitReached()) {
            QCoreApplication::quit();
        }
    });
    port.setOnLinkLost([&](TCommPortDriver*, const SerialPortError& e) {
        reportError(QStringLiteral("%1 (%2) was lost: %3").arg(*device, e.devicePath, e.reason));
        status = kExitInput;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    port.Disconnect();
    return status;
}

} // namespace velkor::cli
