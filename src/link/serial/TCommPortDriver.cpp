#include "link/serial/TCommPortDriver.h"

#include "platform/Clock.h"
#include "platform/SerialPortNames.h"
#include "platform/SerialSystem.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

namespace velkor {

namespace {

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Errors after which the port will never deliver again: the device has gone
// (adapter unplugged), hung up, or the handle is no longer valid.
bool portGone(int code) {
    return code == EIO || code == ENXIO || code == ENODEV || code == EBADF;
}

// Clears a flag when the scope ends, also by an exception.
struct FlagScope {
    bool& flag;
    explicit FlagScope(bool& f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};

} // namespace

TCommPortDriver::TCommPortDriver(SerialSystem& sys, const Clock& clock,
                                 const SerialPortNames& names, QObject* parent)
    : QObject(parent), FSys(sys), FClock(clock), FNames(names),
      FTempInBuffer(std::make_unique<std::uint8_t[]>(FComPortInBufSize)) {
    connect(&FPollTimer, &QTimer::timeout, this, &TCommPortDriver::PollTimerProc);
}

TCommPortDriver::~TCommPortDriver() {
    Disconnect();
}

bool TCommPortDriver::Connected() const {
    return FComPortHandle != kClosedHandle && FComPortHandle != kInvalidHandle;
}

QString TCommPortDriver::portDevicePath() const {
    return FDevicePath.isEmpty() ? FNames.devicePath(FComPort) : FDevicePath;
}

void TCommPortDriver::setDevicePath(const QString& path) {
    if (!Connected()) {
        FDevicePath = path;
    }
}

LineSettings TCommPortDriver::lineSettings() const {
    return {FComPortBaudRate, FComPortDataBits,      FComPortStopBits,
            FComPortParity,   FComPortHwHandshaking, FComPortSwHandshaking};
}

void TCommPortDriver::setError(const QString& path, int code, const QString& reason,
                               SerialFault fault) {
    FLastError = {path, code, reason, fault};
}

bool TCommPortDriver::Connect() {
    if (Connected()) {
        return true;
    }
    FLastError = {};
    const QString path = portDevicePath();
    if (path.isEmpty()) {
        setError(path, ENODEV,
                 QStringLiteral("no serial device is present for %1 (%2 can name one)")
                     .arg(QLatin1String(comPortName(FComPort)), FNames.settingName(FComPort)),
                 SerialFault::NoDevice);
        FComPortHandle = kInvalidHandle;
        return false;
    }
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        // Not the controlling terminal; non-blocking so that neither the open
        // (waiting for carrier) nor a read ever waits.
        fd = FSys.open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int e = errno;
        setError(path, e, systemText(e));
        FComPortHandle = kInvalidHandle;
        return false;
    }
    FExclusive = false;
    FHasSavedSettings = false;
    auto fail = [&](int code, const QString& reason, SerialFault fault = SerialFault::System) {
        if (FHasSavedSettings) {
            FSys.tcsetattr(fd, TCSANOW, &FSavedSettings);
            FHasSavedSettings = false;
        }
        closeHandle(fd);
        setError(path, code, reason, fault);
        FComPortHandle = kInvalidHandle;
        return false;
    };
    // Exclusive use: the advisory lock that other serial programs honour
    // refuses a port already held (also by root) ...
    if (FSys.flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int e = errno;
        if (e == EWOULDBLOCK) {
            return fail(EBUSY, QStringLiteral("the port is in use by another program"),
                        SerialFault::InUse);
        }
        return fail(e, systemText(e));
    }
    if (FSys.tcgetattr(fd, &FSavedSettings) < 0) {
        const int e = errno;
        return fail(e, QStringLiteral("not a serial port (%1)").arg(systemText(e)),
                    SerialFault::NotSerialPort);
    }
    FHasSavedSettings = true;
    // ... and the terminal's exclusive mode refuses any later open by a
    // program that does not look at the lock.
    FExclusive = FSys.ioctl(fd, TIOCEXCL, nullptr) == 0;

    FComPortHandle = fd;
    FOpenPath = path;
    if (!ApplyPortSettings()) {
        const SerialPortError why = FLastError;
        FComPortHandle = kClosedHandle;
        FOpenPath.clear();
        return fail(why.code, why.reason, why.fault);
    }
    // Read time-outs: the port is non-blocking with VMIN 0 and VTIME 0, so a
    // read returns at once with what is queued. Writes never wait either;
    // SendData keeps its own time-out.
    startPollTimer();
    return true;
}

bool TCommPortDriver::ApplyPortSettings() {
    if (!Connected()) {
        return false;
    }
    const int fd = FComPortHandle;
    termios t{};
    if (FSys.tcgetattr(fd, &t) < 0) {
        const int e = errno;
        setError(FOpenPath, e, systemText(e));
        return false;
    }
    const LineSettings s = lineSettings();
    if (const QString why = applyLineSettings(t, s); !why.isEmpty()) {
        setError(FOpenPath, EINVAL, why, SerialFault::LineSetting);
        return false;
    }
    // tcsetattr succeeds when the port took any of the settings (the C
    // library refuses some it sees were not taken); read them back so that
    // a setting the device cannot give fails visibly, and say which.
    const int set = FSys.tcsetattr(fd, TCSANOW, &t);
    const int setErrno = errno;
    termios back{};
    if (FSys.tcgetattr(fd, &back) < 0) {
        const int e = set < 0 ? setErrno : errno;
        setError(FOpenPath, e, systemText(e));
        return false;
    }
    if (const QString why = lineSettingsMismatch(back, s); !why.isEmpty()) {
        setError(FOpenPath, EINVAL, why, SerialFault::LineSetting);
        return false;
    }
    if (set < 0) {
        setError(FOpenPath, setErrno, systemText(setErrno));
        return false;
    }
    // DTR raised while open when EnableDTROnOpen; RTS held low unless
    // RTS/CTS handshaking drives it. Devices without modem lines (a
    // pseudo-terminal) refuse these requests; that is not an error.
    int dtr = TIOCM_DTR;
    FSys.ioctl(fd, FEnableDTROnOpen ? TIOCMBIS : TIOCMBIC, &dtr);
    int rts = TIOCM_RTS;
    FSys.ioctl(fd, FComPortHwHandshaking == hhRTSCTS ? TIOCMBIS : TIOCMBIC, &rts);
    FlushBuffers(true, true);
    // The kernel sizes a terminal's queues itself: ComPortInBufSize sizes the
    // receive buffer and ComPortOutBufSize the free space OutFreeSpace reports.
    return true;
}

void TCommPortDriver::startPollTimer() {
    FPollTimer.start(std::max<int>(1, FComPortPollingDelay));
}

void TCommPortDriver::closeHandle(int fd) {
    // The terminal's exclusive mode outlives this handle while another one is
    // open on the same terminal (a simulator holding its pseudo-terminal):
    // end it, or the next open by a normal user is refused. Only the mode
    // this component set: another holder's stays.
    if (FExclusive) {
        FSys.ioctl(fd, TIOCNXCL, nullptr);
        FExclusive = false;
    }
    FSys.close(fd);
}

void TCommPortDriver::Disconnect() {
    if (!Connected()) {
        return;
    }
    FPollTimer.stop();
    // A terminal's close waits until its output has gone (up to 30 s when
    // flow control holds it back); what is still queued is abandoned instead.
    // (Only when something is queued: a pseudo-terminal reports nothing and
    // would lose what its other end has not read yet.)
    if (int queued = 0; FSys.ioctl(FComPortHandle, TIOCOUTQ, &queued) == 0 && queued > 0) {
        FSys.tcflush(FComPortHandle, TCOFLUSH);
    }
    // The line as it was found (a device that has gone refuses; nothing to
    // keep then).
    if (FHasSavedSettings) {
        FSys.tcsetattr(FComPortHandle, TCSANOW, &FSavedSettings);
        FHasSavedSettings = false;
    }
    closeHandle(FComPortHandle);
    FComPortHandle = kClosedHandle;
    FOpenPath.clear();
}

void TCommPortDriver::setComHandle(int value) {
    if (value == FComPortHandle) {
        return;
    }
    if (value == kInvalidHandle) {
        // Detach: the port stays open for whoever owns the handle now.
        FPollTimer.stop();
        FExclusive = false;
        FHasSavedSettings = false;
        FComPortHandle = kClosedHandle;
        FOpenPath.clear();
        return;
    }
    Disconnect();
    if (value != kClosedHandle) {
        FComPortHandle = value;
        FExclusive = false;
        FHasSavedSettings = false;
        FOpenPath = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(value));
        startPollTimer();
    }
}

void TCommPortDriver::FlushBuffers(bool inBuf, bool outBuf) {
    if (!Connected() || (!inBuf && !outBuf)) {
        return;
    }
    FSys.tcflush(FComPortHandle, inBuf && outBuf ? TCIOFLUSH : inBuf ? TCIFLUSH : TCOFLUSH);
}

std::uint16_t TCommPortDriver::OutFreeSpace() {
    if (!Connected()) {
        return 65535;
    }
    int queued = 0;
    if (FSys.ioctl(FComPortHandle, TIOCOUTQ, &queued) < 0) {
        queued = 0;
    }
    return static_cast<std::uint16_t>(std::max(0, FComPortOutBufSize - queued));
}

std::int32_t TCommPortDriver::SendData(const void* DataPtr, std::int32_t DataSize) {
    if (!Connected()) {
        return 0;
    }
    const auto* p = static_cast<const std::uint8_t*>(DataPtr);
    std::int32_t remaining = std::max<std::int32_t>(0, DataSize);
    std::int32_t count = 0;
    qint64 noted = FClock.monotonicMs();
    while (remaining > 0) {
        const std::uint16_t space = OutFreeSpace();
        if (space > 0) {
            const ssize_t n =
                FSys.write(FComPortHandle, p,
                           static_cast<std::size_t>(std::min<std::int32_t>(space, remaining)));
            if (n > 0) {
                count += static_cast<std::int32_t>(n);
                p += n;
                remaining -= static_cast<std::int32_t>(n);
                noted = FClock.monotonicMs();
                continue;
            }
            if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                // The write fails for good (device gone, I/O error): waiting
                // would not help.
                const int e = errno;
                setError(FOpenPath, e, systemText(e));
                return -count;
            }
            // Nothing went out: counts toward the time-out like a full queue.
        }
        if (FClock.monotonicMs() - noted > FOutputTimeout) {
            setError(FOpenPath, ETIMEDOUT,
                     QStringLiteral("nothing could be sent for %1 ms").arg(FOutputTimeout),
                     SerialFault::SendTimedOut);
            return -count;
        }
        // Wait for room rather than spin.
        pollfd w{FComPortHandle, POLLOUT, 0};
        FSys.poll(&w, 1, 10);
    }
    return count;
}

bool TCommPortDriver::SendString(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    return SendData(bytes.constData(), static_cast<std::int32_t>(bytes.size())) == bytes.size();
}

bool TCommPortDriver::SendZString(const char* s) {
    const auto len = static_cast<std::int32_t>(s ? std::strlen(s) : 0);
    return SendData(s, len) == len;
}

void TCommPortDriver::ToggleDTR(bool onOff) {
    if (Connected()) {
        int bit = TIOCM_DTR;
        FSys.ioctl(FComPortHandle, onOff ? TIOCMBIS : TIOCMBIC, &bit);
    }
}

void TCommPortDriver::ToggleRTS(bool onOff) {
    if (Connected()) {
        int bit = TIOCM_RTS;
        FSys.ioctl(FComPortHandle, onOff ? TIOCMBIS : TIOCMBIC, &bit);
    }
}

void TCommPortDriver::setComPort(TComPortNumber value) {
    if (!Connected()) {
        FComPort = value;
    }
}

template <typename T> void TCommPortDriver::changeLineSetting(T& field, T value) {
    const T previous = field;
    field = value;
    if (Connected() && !ApplyPortSettings()) {
        const QString why = FLastError.reason;
        field = previous;
        ApplyPortSettings();
        throw SerialSettingsError(QStringLiteral("%1 (%2): %3")
                                      .arg(QLatin1String(comPortName(FComPort)), FOpenPath, why)
                                      .toStdString());
    }
}

void TCommPortDriver::setComPortSpeed(TComPortBaudRate value) {
    changeLineSetting(FComPortBaudRate, value);
}
void TCommPortDriver::setComPortDataBits(TComPortDataBits value) {
    changeLineSetting(FComPortDataBits, value);
}
void TCommPortDriver::setComPortStopBits(TComPortStopBits value) {
    changeLineSetting(FComPortStopBits, value);
}
void TCommPortDriver::setComPortParity(TComPortParity value) {
    changeLineSetting(FComPortParity, value);
}
void TCommPortDriver::setComPortHwHandshaking(TComPortHwHandshaking value) {
    changeLineSetting(FComPortHwHandshaking, value);
}
void TCommPortDriver::setComPortSwHandshaking(TComPortSwHandshaking value) {
    changeLineSetting(FComPortSwHandshaking, value);
}

void TCommPortDriver::setComPortInBufSize(std::uint16_t value) {
    if (Connected()) {
        return;
    }
    FTempInBuffer = std::make_unique<std::uint8_t[]>(value);
    FComPortInBufSize = value;
}

void TCommPortDriver::setComPortOutBufSize(std::uint16_t value) {
    FComPortOutBufSize = value;
}

void TCommPortDriver::setComPortPollingDelay(std::uint16_t value) {
    if (value == FComPortPollingDelay) {
        return;
    }
    FComPortPollingDelay = value;
    if (Connected()) {
        startPollTimer();
    }
}

void TCommPortDriver::PollTimerProc() {
    // A receive handler that runs a nested event loop (a modal box) must not
    // see the next tick while it still holds this tick's bytes.
    if (!Connected() || FInTick) {
        return;
    }
    FlagScope inTick(FInTick);
    const ssize_t n = FSys.read(FComPortHandle, FTempInBuffer.get(), FComPortInBufSize);
    if (n > 0) {
        if (FComPortReceiveData) {
            FComPortReceiveData(this, FTempInBuffer.get(), static_cast<std::int32_t>(n));
        }
        return;
    }
    if (n < 0) {
        if (const int e = errno; portGone(e)) {
            linkLost(e);
            return;
        }
        // Anything else (EINTR, EAGAIN, a transient error): the next tick
        // tries again, unless the line has hung up.
    }
    // Nothing read: a terminal that has hung up also reads as empty, so ask
    // whether it is still there.
    pollfd p{FComPortHandle, POLLIN, 0};
    if (FSys.poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        linkLost((p.revents & POLLNVAL) != 0 ? EBADF : EIO);
    }
}

void TCommPortDriver::linkLost(int code) {
    const QString path = FOpenPath;
    Disconnect();
    setError(path, code, systemText(code));
    if (FOnLinkLost) {
        FOnLinkLost(this, FLastError);
    }
}

} // namespace velkor
