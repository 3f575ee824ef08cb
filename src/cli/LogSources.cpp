#include "cli/LogSources.h"

#include "cli/Commands.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/UsbCableLink.h"
#include "link/hid/UsbFrameAssembler.h"
#include "link/serial/TCommPortDriver.h"
#include "pipeline/MeterPipeline.h"
#include "platform/linux/ComPortNames.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor::cli {

namespace {

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

constexpr std::size_t kChunk = 65536;

// A device node by the name it has after links are followed (a udev link
// such as /dev/meter-cable names the same node as /dev/hidraw3).
QString nodeName(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

QString serialOpenFailure(const TCommPortDriver& port, const QString& device) {
    const SerialPortError& e = port.lastError();
    QString text = QStringLiteral("cannot open %1").arg(device);
    if (!e.devicePath.isEmpty() && e.devicePath != device) {
        text += QStringLiteral(" (%1)").arg(e.devicePath);
    }
    text += QStringLiteral(": ") + e.reason;
    if (e.code == EACCES || e.code == EPERM) {
        text += QStringLiteral("; serial ports belong to the dialout group: "
                               "sudo usermod -aG dialout $USER, then log in again");
    }
    return text;
}

// ----- StreamSource -------------------------------------------------------

StreamSource::StreamSource(QString path, ByteFeed feed)
    : path_(std::move(path)), feed_(std::move(feed)) {
    pump_.setInterval(0);
    QObject::connect(&pump_, &QTimer::timeout, [this] { readChunk(); });
}

StreamSource::~StreamSource() {
    notifier_.reset();
    if (ownsFd_) {
        ::close(fd_);
    }
}

bool StreamSource::start(QString* error) {
    if (path_ == QLatin1String("-")) {
        fd_ = STDIN_FILENO;
    } else {
        fd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            *error = QStringLiteral("cannot open %1: %2").arg(path_, systemText(errno));
            return false;
        }
        ownsFd_ = true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        // Always readable: read it a chunk at a time between other events.
        pump_.start();
    } else {
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readChunk(); });
    }
    return true;
}

void StreamSource::readChunk() {
    std::uint8_t buf[kChunk];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
        feed_(buf, static_cast<std::size_t>(n));
        return;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    const QString message =
        n == 0 ? QString() : QStringLiteral("cannot read %1: %2").arg(path_, systemText(errno));
    pump_.stop();
    if (notifier_) {
        notifier_->setEnabled(false);
    }
    if (ended) {
        ended(n == 0 ? kExitOk : kExitInput, message);
    }
}

// ----- SerialSource -------------------------------------------------------

SerialSource::SerialSource(QString device, MeterVariant variant, SerialSystem& serial,
                           const Clock& clock, const SerialPortNames& names, ByteFeed feed)
    : device_(std::move(device)), port_(std::make_unique<TCommPortDriver>(serial, clock, names)),
      feed_(std::move(feed)) {
    if (const int n = ComPortNames::portNumberOf(device_); n >= 0) {
        port_->setComPort(static_cast<TComPortNumber>(n));
    } else {
        port_->setDevicePath(device_);
    }
    port_->setComPortSpeed(baudRateOf(variantInfo(variant).serialBaud));
    port_->setComPortPollingDelay(100);
    port_->setOnReceiveData([this](TCommPortDriver*, const std::uint8_t* data, std::int32_t size) {
        feed_(data, static_cast<std::size_t>(size));
    });
    port_->setOnLinkLost([this](TCommPortDriver*, const SerialPortError& e) {
        if (lost) {
            lost(e.reason);
        }
    });
    retry_.setInterval(kRetryMs);
    QObject::connect(&retry_, &QTimer::timeout, [this] {
        if (port_->Connect()) {
            retry_.stop();
            if (back) {
                back();
            }
        }
    });
}

SerialSource::~SerialSource() {
    retry_.stop();
    port_->Disconnect();
}

QString SerialSource::devicePath() const {
    return port_->portDevicePath();
}

bool SerialSource::start(QString* error) {
    if (!port_->Connect()) {
        *error = serialOpenFailure(*port_, device_);
        return false;
    }
    return true;
}

void SerialSource::awaitReturn() {
    retry_.start();
}

// ----- HidSource ----------------------------------------------------------

HidSource::HidSource(std::optional<QString> path, MeterVariant variant, HidPlatform& platform,
                     MeterPipeline& pipeline)
    : path_(std::move(path)), variant_(variant), platform_(platform), pipeline_(pipeline) {}

HidSource::~HidSource() {
    release();
    if (ctl_) {
        ctl_->clearHandlers();
    }
}

QString HidSource::name() const {
    return path_ ? *path_ : QStringLiteral("the USB cable");
}

bool HidSource::start(QString* error) {
    if (!platform_.present()) {
        *error = QStringLiteral("HID devices cannot be reached (libudev)");
        return false;
    }
    assembler_ = std::make_unique<UsbFrameAssembler>(pipeline_.frameHex(), emptyReports_,
                                                     [this] { pipeline_.decodeFrame(); });
    ctl_ = std::make_unique<TJvHidDeviceController>(platform_);
    ctl_->OnRemoval = [this](TJvHidDevice* d) {
        if (d == dev_) {
            removed_ = true;
        }
    };
    ctl_->setOnDeviceChange([this](TJvHidDeviceController*) { deviceChanged(); });
    ctl_->OnNotificationError = [](const std::exception& e) {
        std::fprintf(stderr, "velkor-cli: listing HID devices: %s\n", e.what());
    };
    ctl_->Loaded();
    try {
        ctl_->DeviceChange();
    } catch (const std::exception& e) {
        *error = QStringLiteral("listing HID devices: %1").arg(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return attach(error);
}

bool HidSource::attach(QString* error) {
    const QString wanted = path_ ? nodeName(*path_) : QString();
    int found = -1;
    ctl_->OnEnumerate = [&](TJvHidDevice* d, int idx) {
        const bool match = path_ ? nodeName(d->PnPInfo().DevicePath) == wanted
                                 : d->ProductName() == QLatin1String(UsbCableLink::kCableName);
        if (match) {
            found = idx;
        }
        return !match;
    };
    ctl_->Enumerate();
    ctl_->OnEnumerate = nullptr;
    TJvHidDevice* dev = nullptr;
    ctl_->CheckOutByIndex(dev, found);
    if (!dev) {
        *error = path_ ? QStringLiteral("%1 is not a HID device present").arg(*path_)
                       : QStringLiteral("no \"%1\" cable found")
                             .arg(QLatin1String(UsbCableLink::kCableName));
        return false;
    }
    const QString node = dev->PnPInfo().DevicePath;
    if (!dev->HasReadWriteAccess()) {
        *error = QStringLiteral("cannot open %1 for reading and writing: %2; install the udev "
                                "rule packaging/udev/70-velkor-usb-serial.rules (see README)")
                     .arg(node, systemText(dev->ReadWriteError()));
        delete dev;
        return false;
    }
    dev_ = dev;
    devicePath_ = node;
    removed_ = false;
    const auto feature = UsbCableLink::featureReport(variant_);
    if (!dev_->SetFeature(feature.data(), static_cast<std::uint32_t>(feature.size()))) {
        std::fprintf(stderr, "velkor-cli: %s: the cable's line speed could not be set\n",
                     qPrintable(node));
    }
    dev_->setOnDataError([](TJvHidDevice*, std::uint32_t e) {
        std::fprintf(stderr, "READ ERROR: %s (%X)\n", std::strerror(static_cast<int>(e)), e);
    });
    dev_->setOnData(
        [this](TJvHidDevice*, std::uint8_t, const std::uint8_t* data, std::uint16_t size) {
            try {
                assembler_->take(UsbFrameAssembler::FrameEnd::Decode, data, size);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "frame %lld: %s\n", pipeline_.framesOffered(), e.what());
            }
            std::fflush(stdout);
        });
    return true;
}

void HidSource::release() {
    if (!dev_) {
        return;
    }
    dev_->setOnData(nullptr); // stops the reader
    delete dev_;
    dev_ = nullptr;
}

// After every pass over the devices: the cable gone, or the awaited one back.
void HidSource::deviceChanged() {
    if (dev_ && removed_) {
        release();
        if (lost) {
            lost(QStringLiteral("the device was unplugged"));
        }
        return;
    }
    if (awaiting_ && !dev_) {
        QString error;
        if (attach(&error)) {
            awaiting_ = false;
            if (back) {
                back();
            }
        }
    }
}

void HidSource::awaitReturn() {
    awaiting_ = true;
    deviceChanged(); // it may be back already
}

} // namespace velkor::cli
