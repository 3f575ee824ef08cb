#pragma once

#include <QString>

namespace velkor {

// What the serial ports COM1 to COM4 stand for on this machine. Ports are
// numbered from 0 (COM1) to 3 (COM4).
class SerialPortNames {
public:
    virtual ~SerialPortNames() = default;
    // The device path the port stands for; empty when it names no device.
    virtual QString devicePath(int port) const = 0;
    // What a user sets to point the port at a device, for messages.
    virtual QString settingName(int port) const = 0;
};

} // namespace velkor
