// velkor-cli read --hid [PATH]: a meter through the USB cable.
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "decode/LocaleSource.h"
#include "decode/MeterPipeline.h"
#include "decode/PassHost.h"
#include "decode/ReadingCsv.h"
#include "link/LinkCounters.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/UsbCableLink.h"
#include "link/hid/UsbFrameAssembler.h"
#include "link/hid/linux/LinuxHidPlatform.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace velkor::cli {

namespace {

int gQuitFd = -1;

void quitOnSignal(int) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(gQuitFd, &one, sizeof one);
}

QString systemText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

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
    if (!variant || opts.positional().size() > 1) {
        reportError(error.isEmpty() ? QStringLiteral("read --hid takes at most one PATH") : error);
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
        reportError(QStringLiteral("listing HID devices: %1").arg(QString::fromLocal8Bit(e.what())));
        return kExitInput;
    }
    TJvHidDevice* dev = findCable(ctl, path);
    if (!dev) {
        reportError(path ? QStringLiteral("%1 is not a HID device present").arg(*path)
                         : QStringLiteral("no \"%1\" cable found").arg(QLatin1String(UsbCableLink::kCableName)));
        return kExitInput;
    }
    const QString devicePath = dev->PnPInfo().DevicePath;
    if (!dev->HasReadWriteAccess()) {
        reportError(QStringLiteral("cannot open %1 for reading and writing: %2; install the udev rule "
                                   "packaging/udev/70-velkor-usb-serial.rules (see README)")
                        .arg(devicePath, systemText(dev->ReadWriteError())));
        delete dev;
        return kExitInput;
    }
    const auto feature = UsbCableLink::featureReport(*variant);
    if (!dev->SetFeature(feature.data(), feature.size())) {
        reportError(QStringLiteral("%1: the cable's line speed could not be set").arg(devicePath));
    }

    SystemLocaleSource locale;
    PassHost host;
    MeterPipeline pipeline(*variant, locale, host);
    LinkCounters counters;
    UsbFrameAssembler assembler(pipeline.decoder().FrameHex, counters.EmptyReportCount,
                                [&pipeline] { pipeline.decodeFrame(); });
    std::string out = readingCsvHeader().toStdString() + '\n';
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);

    int status = kExitOk;
    long printed = 0;
    bool done = count == 0;
    pipeline.setOnDecoded([&] {
        out = readingCsvLine(pipeline.decoder()).toStdString();
        out += '\n';
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
        if (count >= 0 && ++printed >= count) {
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

    gQuitFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    QSocketNotifier quitNotifier(gQuitFd, QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, quitOnSignal);
    std::signal(SIGTERM, quitOnSignal);

    if (!done) {
        dev->setOnData([&](TJvHidDevice*, std::uint8_t, const std::uint8_t* data, std::uint16_t size) {
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
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete dev; // stops the reader
    ::close(gQuitFd);
    gQuitFd = -1;
    return status;
}

} // namespace velkor::cli
