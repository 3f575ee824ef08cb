#include "platform/linux/LinuxHidPlatform.h"

#include "platform/linux/ReportDescriptor.h"

#include <QFile>
#include <QSocketNotifier>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace velkor {

namespace {

// Owns a reference of a udev object.
template <class T, T* (*Unref)(T*)> class UdevRef {
public:
    explicit UdevRef(T* p = nullptr) : p_(p) {}
    ~UdevRef() {
        if (p_) {
            Unref(p_);
        }
    }
    UdevRef(const UdevRef&) = delete;
    UdevRef& operator=(const UdevRef&) = delete;
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_;
};
using DeviceRef = UdevRef<udev_device, udev_device_unref>;
using EnumerateRef = UdevRef<udev_enumerate, udev_enumerate_unref>;
using MonitorRef = UdevRef<udev_monitor, udev_monitor_unref>;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The hid device above a hidraw node: its name ends in the kernel's running
// number of HID devices ("0003:1A86:E008.0007"), which is new for every
// device that appears; the identity between device-change passes.
std::uint32_t deviceIdOf(udev_device* hidraw) {
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
    if (hid) {
        const QString name = QString::fromUtf8(udev_device_get_sysname(hid));
        bool ok = false;
        const std::uint32_t n = name.section(QLatin1Char('.'), -1).toUInt(&ok, 16);
        if (ok && name.contains(QLatin1Char('.'))) {
            return n;
        }
    }
    // Not under a hid device (never seen): the node's minor number, kept
    // apart from the running numbers.
    return 0x80000000u | static_cast<std::uint32_t>(minor(udev_device_get_devnum(hidraw)));
}

QString text(const char* s) {
    return s ? QString::fromUtf8(s).trimmed() : QString();
}

// What sysfs tells about one hidraw node.
struct SysfsInfo {
    bool identified = false;
    HidAttributes attributes;
    QString product;
    QString serial;
    std::vector<std::uint8_t> reportDescriptor;
};

SysfsInfo sysfsInfo(udev_device* hidraw) {
    SysfsInfo info;
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
    if (!hid) {
        return info;
    }
    // HID_ID=bus:vendor:product, eight hex digits each.
    const QStringList id =
        text(udev_device_get_property_value(hid, "HID_ID")).split(QLatin1Char(':'));
    if (id.size() == 3) {
        bool vendorOk = false;
        bool productOk = false;
        info.attributes.VendorID = static_cast<std::uint16_t>(id[1].toUInt(&vendorOk, 16));
        info.attributes.ProductID = static_cast<std::uint16_t>(id[2].toUInt(&productOk, 16));
        info.identified = vendorOk && productOk;
    }
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(hidraw, "usb", "usb_device");
    if (usb) {
        info.attributes.VersionNumber = static_cast<std::uint16_t>(
            text(udev_device_get_sysattr_value(usb, "bcdDevice")).toUInt(nullptr, 16));
        info.product = text(udev_device_get_sysattr_value(usb, "product"));
        info.serial = text(udev_device_get_sysattr_value(usb, "serial"));
    } else {
        info.product = text(udev_device_get_property_value(hid, "HID_NAME"));
        info.serial = text(udev_device_get_property_value(hid, "HID_UNIQ"));
    }
    QFile descriptor(QString::fromUtf8(udev_device_get_syspath(hid)) +
                     QStringLiteral("/report_descriptor"));
    if (descriptor.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = descriptor.read(HID_MAX_DESCRIPTOR_SIZE);
        info.reportDescriptor.assign(bytes.begin(), bytes.end());
    }
    return info;
}

bool copyString(const QString& s, HidStringBuffer buffer) {
    if (s.isEmpty()) {
        return false;
    }
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(s.size()), buffer.size());
    std::copy_n(reinterpret_cast<const char16_t*>(s.utf16()), n, buffer.begin());
    if (n < buffer.size()) {
        buffer[n] = 0;
    }
    return true;
}

// The shared handle: sysfs facts, and the node itself when opened for
// reading and writing.
class LinuxHidHandle final : public HidHandle {
public:
    LinuxHidHandle(int fd, SysfsInfo info) : fd_(fd), info_(std::move(info)) {}

    bool getAttributes(HidAttributes& attributes) override {
        if (!info_.identified) {
            return false;
        }
        attributes.VendorID = info_.attributes.VendorID;
        attributes.ProductID = info_.attributes.ProductID;
        attributes.VersionNumber = info_.attributes.VersionNumber;
        return true;
    }
    bool getProductString(HidStringBuffer buffer) override {
        return copyString(info_.product, buffer);
    }
    bool getSerialNumberString(HidStringBuffer buffer) override {
        return copyString(info_.serial, buffer);
    }
    bool getIndexedString(int, HidStringBuffer) override { return false; }
    bool providesLanguageList() const override { return false; }
    std::uint32_t inputReportByteLength() override {
        return parseReportDescriptor(info_.reportDescriptor).inputReportByteLength;
    }
    // hidraw queues a fixed number of reports per open file.
    bool setNumInputBuffers(std::uint32_t) override { return false; }
    bool getNumInputBuffers(std::uint32_t& count) override {
        count = HIDRAW_BUFFER_SIZE;
        return true;
    }
    bool setFeature(const std::uint8_t* report, std::size_t size) override {
        if (fd_.get() < 0 || size == 0) {
            return false;
        }
        std::vector<std::uint8_t> buffer(report, report + size);
        return ::ioctl(fd_.get(), HIDIOCSFEATURE(buffer.size()), buffer.data()) >= 0;
    }

private:
    Fd fd_;
    SysfsInfo info_;
};

// The reading side: the node opened for reading, polled together with an
// eventfd that wake() signals.
class LinuxHidReadHandle final : public HidReadHandle {
public:
    LinuxHidReadHandle(int fd, int wakeFd, bool numbered)
        : fd_(fd), wakeFd_(wakeFd), numbered_(numbered) {}

    Result read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        Result r;
        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0) {
            if (errno == EINTR) {
                return r;
            }
            r.kind = Result::Failed;
            r.error = static_cast<std::uint32_t>(errno);
            return r;
        }
        if (n == 0) {
            return r;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(wakeFd_.get(), &count, sizeof count);
            return r;
        }
        if (fds[0].revents == 0) {
            return r;
        }
        // Without numbered reports the node gives the data alone; the report
        // ID byte in front is 0, as the HID layer hands reports on.
        const std::size_t skip = numbered_ ? 0 : 1;
        if (size <= skip) {
            r.kind = Result::Failed;
            r.error = EINVAL;
            return r;
        }
        const ssize_t got = ::read(fd_.get(), buffer + skip, size - skip);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                return r;
            }
            r.kind = Result::Failed;
            r.error = static_cast<std::uint32_t>(errno);
            return r;
        }
        if (got == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Nothing will ever come: fail instead of waking again at once.
            r.kind = Result::Failed;
            r.error = (fds[0].revents & POLLNVAL) ? EBADF : EIO;
            return r;
        }
        r.kind = Result::Report;
        if (got > 0) {
            if (skip) {
                buffer[0] = 0;
            }
            r.bytes = static_cast<std::uint32_t>(got) + static_cast<std::uint32_t>(skip);
        }
        return r;
    }

    void wake() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_.get(), &one, sizeof one);
    }

private:
    Fd fd_;
    Fd wakeFd_;
    bool numbered_;
};

class LinuxHidWatch final : public HidDeviceWatch {
public:
    LinuxHidWatch(udev_monitor* monitor, std::function<void()> onChange)
        : monitor_(monitor), onChange_(std::move(onChange)),
          notifier_(udev_monitor_get_fd(monitor), QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { changed(); });
    }

private:
    void changed() {
        // One pass for all hidraw events waiting now. Kernel events of other
        // subsystems wake the notifier too; receiving filters them out.
        bool hidraw = false;
        while (udev_device* d = udev_monitor_receive_device(monitor_.get())) {
            hidraw = true;
            udev_device_unref(d);
        }
        if (hidraw) {
            onChange_();
        }
    }

    MonitorRef monitor_;
    std::function<void()> onChange_;
    QSocketNotifier notifier_;
};

} // namespace

LinuxHidPlatform::LinuxHidPlatform() : udev_(udev_new()) {}

LinuxHidPlatform::~LinuxHidPlatform() {
    if (udev_) {
        udev_unref(udev_);
    }
}

std::vector<HidInterfaceInfo> LinuxHidPlatform::listInterfaces() {
    std::vector<HidInterfaceInfo> list;
    EnumerateRef e(udev_enumerate_new(udev_));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "hidraw") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return list;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        DeviceRef dev(udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry)));
        const char* node = dev ? udev_device_get_devnode(dev.get()) : nullptr;
        if (node) {
            list.push_back({deviceIdOf(dev.get()), QString::fromUtf8(node)});
        }
    }
    return list;
}

std::unique_ptr<HidHandle> LinuxHidPlatform::open(const QString& devicePath, HidOpenMode mode,
                                                  int* error) {
    const QByteArray path = QFile::encodeName(devicePath);
    int fd = -1;
    if (mode == HidOpenMode::ReadWrite) {
        fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            *error = errno;
            return nullptr;
        }
    }
    Fd owner(fd); // closes it on the way out unless a handle takes it
    struct stat st {};
    const int statResult = fd >= 0 ? ::fstat(fd, &st) : ::stat(path.constData(), &st);
    if (statResult < 0) {
        *error = errno;
        return nullptr;
    }
    DeviceRef dev(S_ISCHR(st.st_mode) ? udev_device_new_from_devnum(udev_, 'c', st.st_rdev)
                                      : nullptr);
    const char* subsystem = dev ? udev_device_get_subsystem(dev.get()) : nullptr;
    if (!subsystem || std::strcmp(subsystem, "hidraw") != 0) {
        *error = ENODEV;
        return nullptr;
    }
    SysfsInfo info = sysfsInfo(dev.get());
    return std::make_unique<LinuxHidHandle>(owner.release(), std::move(info));
}

std::unique_ptr<HidReadHandle> LinuxHidPlatform::openRead(const QString& devicePath, int* error) {
    // Runs on a reader's thread: the node and its descriptor alone, no udev.
    Fd fd(::open(QFile::encodeName(devicePath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        *error = errno;
        return nullptr;
    }
    int size = 0;
    hidraw_report_descriptor descriptor{};
    if (::ioctl(fd.get(), HIDIOCGRDESCSIZE, &size) < 0) {
        *error = errno;
        return nullptr;
    }
    descriptor.size = static_cast<std::uint32_t>(std::clamp(size, 0, HID_MAX_DESCRIPTOR_SIZE));
    if (::ioctl(fd.get(), HIDIOCGRDESC, &descriptor) < 0) {
        *error = errno;
        return nullptr;
    }
    const bool numbered =
        parseReportDescriptor(std::span<const std::uint8_t>(descriptor.value, descriptor.size))
            .numbered;
    return readHandleOn(fd.release(), numbered, error);
}

std::unique_ptr<HidReadHandle> LinuxHidPlatform::readHandleOn(int fd, bool numbered, int* error) {
    Fd node(fd);
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        *error = errno;
        return nullptr;
    }
    return std::make_unique<LinuxHidReadHandle>(node.release(), wakeFd, numbered);
}

std::unique_ptr<HidDeviceWatch> LinuxHidPlatform::watch(std::function<void()> onChange) {
    // A monitor on "udev" hears only what udevd passes on; without udevd
    // (containers, minimal systems) listen to the kernel itself.
    const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    udev_monitor* monitor = udev_monitor_new_from_netlink(udev_, source);
    if (!monitor) {
        return nullptr;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        return nullptr;
    }
    return std::make_unique<LinuxHidWatch>(monitor, std::move(onChange));
}

} // namespace velkor
