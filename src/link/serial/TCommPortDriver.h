#pragma once

#include "link/serial/ComPortTypes.h"
#include "link/serial/LineSettings.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <termios.h>

namespace velkor {

class Clock;
class SerialPortNames;
class SerialSystem;
class TCommPortDriver;

// Received bytes: Sender, the bytes, their number (at least 1). The bytes are
// valid only during the call; the next poll reuses the buffer.
using TComPortReceiveDataEvent = std::function<void(
    TCommPortDriver* Sender, const std::uint8_t* DataPtr, std::int32_t DataSize)>;

// The kind of a serial failure, so that each front end can word it in its
// own language (the reason text is the command line's English).
enum class SerialFault {
    System,        // a system call failed: the error number says why
    NoDevice,      // no device stands for the port
    InUse,         // another program holds the port
    NotSerialPort, // the device is no terminal
    LineSetting,   // the port cannot take the line settings
    SendTimedOut,  // nothing could be sent within the output time-out
};

// Why a port could not be opened or was lost: the device path, the system's
// error number, the kind of failure and the reason as text.
struct SerialPortError {
    QString devicePath;
    int code = 0;
    QString reason;
    SerialFault fault = SerialFault::System;
};

// A line setting that the open port cannot take (thrown by the setter; the
// previous value stays in force).
class SerialSettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The link to a port that was open has gone for good (the adapter was
// unplugged, the device hung up). The driver has already closed the port.
using TComPortLinkLostEvent = std::function<void(TCommPortDriver* Sender, const SerialPortError&)>;

// Owns one serial port: opens and closes it, writes its line settings and
// polls it for received bytes on the user-interface thread, handing them to
// OnReceiveData. Also sends and controls the DTR and RTS lines.
//
// On Linux the port is a terminal device opened through SerialSystem (POSIX
// termios): exclusively (flock, so a second opener is refused, and TIOCEXCL),
// without becoming the controlling terminal, non-blocking, in raw mode. The
// handle is the file descriptor. The line's settings found at Connect are
// put back at Disconnect (a handle adopted through ComHandle is left as it
// is).
class TCommPortDriver : public QObject {
    Q_OBJECT
public:
    // The handle of a closed component. (File descriptor 0 is a valid
    // handle on Linux, so "closed" needs a value of its own.)
    static constexpr int kClosedHandle = -2;
    // The system's invalid handle: what a failed open leaves, and what the
    // ComHandle setter takes as "detach without closing".
    static constexpr int kInvalidHandle = -1;

    // Create: the defaults, the handle closed, the receive buffer allocated.
    // The system calls, the clock and the port names come from the caller
    // and must outlive the driver.
    TCommPortDriver(SerialSystem& sys, const Clock& clock, const SerialPortNames& names,
                    QObject* parent = nullptr);
    // Destroy: Disconnect.
    ~TCommPortDriver() override;

    // Opens the port and starts polling. True when connected afterwards
    // (also when it already was). On failure lastError() says why.
    bool Connect();
    void Disconnect();
    bool Connected() const;

    // Discards pending input and/or output in one request.
    void FlushBuffers(bool inBuf, bool outBuf);
    // ComPortOutBufSize minus the bytes waiting to go out; 65535 when closed.
    std::uint16_t OutFreeSpace();
    // Writes DataSize bytes. Returns the count written, negated when the
    // send time-out struck or writing failed for good; 0 when closed.
    std::int32_t SendData(const void* DataPtr, std::int32_t DataSize);
    // Send the text's bytes (UTF-8); true when all of them went out.
    bool SendString(const QString& s);
    // Sends the bytes up to the first NUL.
    bool SendZString(const char* s);
    void ToggleDTR(bool onOff);
    void ToggleRTS(bool onOff);

    // Properties.
    TComPortNumber ComPort() const { return FComPort; }
    void setComPort(TComPortNumber value);
    TComPortBaudRate ComPortSpeed() const { return FComPortBaudRate; }
    void setComPortSpeed(TComPortBaudRate value);
    TComPortDataBits ComPortDataBits() const { return FComPortDataBits; }
    void setComPortDataBits(TComPortDataBits value);
    TComPortStopBits ComPortStopBits() const { return FComPortStopBits; }
    void setComPortStopBits(TComPortStopBits value);
    TComPortParity ComPortParity() const { return FComPortParity; }
    void setComPortParity(TComPortParity value);
    TComPortHwHandshaking ComPortHwHandshaking() const { return FComPortHwHandshaking; }
    void setComPortHwHandshaking(TComPortHwHandshaking value);
    TComPortSwHandshaking ComPortSwHandshaking() const { return FComPortSwHandshaking; }
    void setComPortSwHandshaking(TComPortSwHandshaking value);
    std::uint16_t ComPortInBufSize() const { return FComPortInBufSize; }
    void setComPortInBufSize(std::uint16_t value);
    std::uint16_t ComPortOutBufSize() const { return FComPortOutBufSize; }
    void setComPortOutBufSize(std::uint16_t value);
    std::uint16_t ComPortPollingDelay() const { return FComPortPollingDelay; }
    void setComPortPollingDelay(std::uint16_t value);
    bool EnableDTROnOpen() const { return FEnableDTROnOpen; }
    void setEnableDTROnOpen(bool value) { FEnableDTROnOpen = value; }
    std::uint16_t OutputTimeout() const { return FOutputTimeout; }
    void setOutputTimeout(std::uint16_t value) { FOutputTimeout = value; }
    const TComPortReceiveDataEvent& OnReceiveData() const { return FComPortReceiveData; }
    void setOnReceiveData(TComPortReceiveDataEvent value) {
        FComPortReceiveData = std::move(value);
    }
    int ComHandle() const { return FComPortHandle; }
    void setComHandle(int value);

    // Told once when an open port is lost for good (after the driver closed it).
    void setOnLinkLost(TComPortLinkLostEvent value) { FOnLinkLost = std::move(value); }

    // The device Connect opens: DevicePath when set, else what ComPort names.
    QString portDevicePath() const;
    // Names the device to open directly (for a device given by path); empty
    // returns to ComPort. Ignored while connected.
    void setDevicePath(const QString& path);
    const QString& DevicePath() const { return FDevicePath; }
    const SerialPortNames& portNames() const { return FNames; }

    // Why the last Connect failed, the link was lost or SendData gave up.
    const SerialPortError& lastError() const { return FLastError; }
    // The line settings the properties describe.
    LineSettings lineSettings() const;

    // One poll: what the timer does at every tick. Public so that a caller
    // with its own loop can poll.
    void PollTimerProc();

private:
    // Writes the settings to the open port. An unsupported setting or one
    // the port does not take is an error (set in FLastError).
    bool ApplyPortSettings();
    // Rewrites the settings after a change of a line setting while connected;
    // a setting the port cannot take restores the previous value and throws.
    template <typename T> void changeLineSetting(T& field, T value);
    void startPollTimer();
    void closeHandle(int fd);
    void linkLost(int code);
    void setError(const QString& path, int code, const QString& reason,
                  SerialFault fault = SerialFault::System);

    SerialSystem& FSys;
    const Clock& FClock;
    const SerialPortNames& FNames;

    int FComPortHandle = kClosedHandle;
    TComPortNumber FComPort = pnCOM2;
    TComPortBaudRate FComPortBaudRate = br9600;
    TComPortDataBits FComPortDataBits = db8BITS;
    TComPortStopBits FComPortStopBits = sb1BITS;
    TComPortParity FComPortParity = ptNONE;
    TComPortHwHandshaking FComPortHwHandshaking = hhNONE;
    TComPortSwHandshaking FComPortSwHandshaking = shNONE;
    std::uint16_t FComPortInBufSize = 2048;
    std::uint16_t FComPortOutBufSize = 2048;
    TComPortReceiveDataEvent FComPortReceiveData;
    std::uint16_t FComPortPollingDelay = 50;
    bool FEnableDTROnOpen = true;
    std::uint16_t FOutputTimeout = 4000;
    QTimer FPollTimer; // the poll timer, on the thread that created the driver
    std::unique_ptr<std::uint8_t[]> FTempInBuffer;

    TComPortLinkLostEvent FOnLinkLost;
    QString FDevicePath;
    QString FOpenPath; // the device of the open port
    SerialPortError FLastError;
    bool FInTick = false;
    bool FExclusive = false; // this component put the open terminal in exclusive mode
    // The line's settings as Connect found them, put back at Disconnect so
    // that the port is left as it was for the next program.
    termios FSavedSettings{};
    bool FHasSavedSettings = false;
};

} // namespace velkor
