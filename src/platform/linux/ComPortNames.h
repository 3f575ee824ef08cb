#pragma once

#include "platform/SerialPortNames.h"

#include <QString>
#include <QStringList>

namespace velkor {

// What COM1 .. COM4 mean on Linux. This is the one place that decides it.
//
// COMn is the device path in the environment variable VELKOR_COMn when that
// is set and not empty. Otherwise it is the n-th serial device present, in
// this order:
//   1. USB serial adapters, /dev/ttyUSB0, /dev/ttyUSB1, ... (the common case:
//      an RS-232 cable on a USB adapter),
//   2. USB modem-class adapters, /dev/ttyACM0, /dev/ttyACM1, ...,
//   3. built-in serial ports /dev/ttyS0, /dev/ttyS1, ... that have a UART
//      behind them (the kernel lists many ttyS nodes; only those whose
//      /sys/class/tty/ttySn/type is not 0 are real).
// Numbers sort as numbers (ttyUSB2 before ttyUSB10). With fewer devices
// present than n, COMn names no device (an empty path). Plugging an adapter
// in or out can renumber the ports; the variables pin them.
class ComPortNames final : public SerialPortNames {
public:
    static constexpr int kPorts = 4;

    explicit ComPortNames(QString devDir = QStringLiteral("/dev"),
                          QString sysTtyDir = QStringLiteral("/sys/class/tty"));

    // The device path COMn stands for; empty when none.
    QString devicePath(int port) const override;
    // The environment variable that pins the port.
    QString settingName(int port) const override { return environmentName(port); }
    // The serial devices present, in COM order (no overrides applied).
    QStringList serialDevicesPresent() const;

    // "VELKOR_COM1" .. "VELKOR_COM4".
    static QString environmentName(int port);
    // 0 .. 3 for a name "COM1" .. "COM4" (any case); -1 otherwise.
    static int portNumberOf(const QString& name);

private:
    QString devDir_;
    QString sysTtyDir_;
};

} // namespace velkor
