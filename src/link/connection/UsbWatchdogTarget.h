#pragma once

namespace velkor {

// What the connection timer's USB watchdog needs of the USB cable link when
// no meter data has come over it for too long. The USB link implements it.
class UsbWatchdogTarget {
public:
    virtual ~UsbWatchdogTarget() = default;
    // Sets USBCon up (its click handler does not run) and removes the data
    // handler of the current USB device, which stops reading it; does nothing
    // to a device when there is no current one.
    virtual void releaseByWatchdog() = 0;
};

} // namespace velkor
