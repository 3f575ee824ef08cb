// velkor-cli read --hid [PATH]: a meter through the USB cable.
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/QuitOnSignal.h"
#include "cli/ReadingPrinter.h"
#include "link/connection/LinkCounters.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/UsbCableLink.h"
#include "link/hid/UsbFrameAssembler.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "platform/LocaleSource.h"
#include "platform/linux/LinuxHidPlatform.h"
#include "platform/linux/SystemLocaleSource.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

namespace velkor::cli {

namespace {

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The device to read: the node given, or the first one named "USB to Serial".
TJvHidDevice* findCable(TJvHidDeviceController& ctl, const std::optional<QString>& path) {
    const QString wanted = path ? QFileInfo(*path).canonicalFilePath() : QString();
    int found = -1;
    ctl.OnEnumerate = [&](TJvHidDevice* d, int idx) {
        const bool match = path ? QFileInfo(d->PnPInfo().DevicePath).canonicalFilePath() == wanted
                                : d->ProductName() == QLatin1String(UsbCableLink::kCableName);
        if (match) {
            found = idx;
        }
        return !match;
    };
    ctl.Enumerate();
    ctl.OnEnumerate = nullptr;
    TJvHidDevice* dev = nullptr;
    ctl.CheckOutByIndex(dev, found);
    return dev;
}

} // namespace

int runReadHid(const QStringList& args) {
    const CliOptions opts(args, {QStringLiteral("--variant"), QStringLiteral("--count")},
                          {QStringLiteral("--hid")});
    if (opts.help()) {
        printUsage(false);
        return kExitOk;
    }
    QString error = opts.error();
    const auto variant = opts.ok() ? opts.variant(&error) : std::nullopt;
    const long count = error.isEmpty() ? opts.count(&error) : -1;
    if (!variant || !error.isEmpty() || opts.positional().size() > 1) {
        reportError(error.isEmpty() ? QStringLiteral("read --hid takes at most one PATH") : error);
        return kExitUsage;
    }
    const MeterVariant v = variant.value_or(buildVariant());
    const std::optional<QString> path =
        opts.positional().isEmpty() ? std::nullopt : std::optional(opts.positional().first());

    LinuxHidPlatform platform;
    if (!platform.present()) {
        reportError(QStringLiteral("HID devices cannot be reached (libudev)"));
        return kExitInput;
    }
    TJvHidDeviceController ctl(platform);
    ctl.Loaded();
    try {
        ctl.DeviceChange();
    } catch (const std::exception& e) {
        reportError(
            QStringLiteral("listing HID devices: %1").arg(QString::fromLocal8Bit(e.what())));
        return kExitInput;
    }
    TJvHidDevice* dev = findCable(ctl, path);
    if (!dev) {
        reportError(path ? QStringLiteral("%1 is not a HID device present").arg(*path)
                         : QStringLiteral("no \"%1\" cable found")
                               .arg(QLatin1String(UsbCableLink::kCableName)));
        return kExitInput;
    }
    const QString devicePath = dev->PnPInfo().DevicePath;
    if (!dev->HasReadWriteAccess()) {
        reportError(
            QStringLiteral("cannot open %1 for reading and writing: %2; install the udev rule "
                           "packaging/udev/70-velkor-usb-serial.rules (see README)")
                .arg(devicePath, systemText(dev->ReadWriteError())));
        delete dev;
        return kExitInput;
    }
    const auto feature = UsbCableLink::featureReport(v);
    if (!dev->SetFeature(feature.data(), feature.size())) {
        reportError(QStringLiteral("%1: the cable's line speed could not be set").arg(devicePath));
    }

    SystemLocaleSource locale;
    PassHost host;
    MeterPipeline pipeline(v, locale, host);
    LinkCounters counters;
    UsbFrameAssembler assembler(pipeline.decoder().FrameHex, counters.EmptyReportCount,
                                [&pipeline] { pipeline.decodeFrame(); });
    ReadingPrinter printer(pipeline);
    printer.printHeader();
    std::fflush(stdout);

    int status = kExitOk;
    bool done = count == 0;
    printer.setLimit(count);
    printer.setAfterLine([&] {
        std::fflush(stdout);
        if (printer.limitReached()) {
            done = true;
            QCoreApplication::quit();
        }
    });
    dev->setOnDataError([](TJvHidDevice*, std::uint32_t e) {
        std::fprintf(stderr, "READ ERROR: %s (%X)\n", std::strerror(static_cast<int>(e)), e);
    });
    ctl.OnRemoval = [&](TJvHidDevice* d) {
        if (d == dev) {
            reportError(QStringLiteral("%1 was removed").arg(devicePath));
            status = kExitInput;
            done = true;
            QCoreApplication::quit();
        }
    };

    const QuitOnSignal quitOnSignal;

    if (!done) {
        dev->setOnData(
            [&](TJvHidDevice*, std::uint8_t, const std::uint8_t* data, std::uint16_t size) {
                if (done) {
                    return;
                }
                try {
                    assembler.take(UsbFrameAssembler::FrameEnd::Decode, data, size);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "frame %lld: %s\n", pipeline.framesOffered(), e.what());
                }
            });
        QCoreApplication::exec();
    }
    delete dev; // stops the reader
    return status;
}

} // namespace velkor::cli
