#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace velkor {

// Everything the HID controller, its devices and their readers ask of the
// operating system. The logic above this interface never touches the system
// itself; the program uses the Linux implementation (hidraw and libudev), the
// tests a substitute that plugs and unplugs devices at will.
//
// Error codes are the system's error numbers (errno on Linux).

// One HID interface present on the computer.
struct HidInterfaceInfo {
    // Identifies the interface between device-change passes: the same value
    // as long as the interface stays plugged in, a new one when it comes back.
    std::uint32_t DeviceID = 0;
    // What open() and openRead() take.
    QString DevicePath;
};

struct HidAttributes {
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// Identity strings are UTF-16, at most this many characters.
inline constexpr std::size_t kHidStringChars = 254;
using HidStringBuffer = std::span<char16_t, kHidStringChars>;

enum class HidOpenMode {
    ReadWrite, // reading and writing, shared with other openers
    NoAccess,  // identity and capabilities only
};

// An opened HID interface (the shared handle). Used on the user-interface thread.
class HidHandle {
public:
    virtual ~HidHandle() = default;

    virtual bool getAttributes(HidAttributes& attributes) = 0;
    // Write the string into the buffer (not terminated when it fills it).
    virtual bool getProductString(HidStringBuffer buffer) = 0;
    virtual bool getSerialNumberString(HidStringBuffer buffer) = 0;
    // String descriptor 0 is the language list, as 16-bit language IDs.
    virtual bool getIndexedString(int index, HidStringBuffer buffer) = 0;
    // False when the system cannot give the language list at all; its serial
    // number strings are then real string descriptors and never the list.
    virtual bool providesLanguageList() const { return true; }
    // Length of the longest input report in bytes, the report ID byte
    // included; 0 when the capabilities cannot be read.
    virtual std::uint32_t inputReportByteLength() = 0;
    virtual bool setNumInputBuffers(std::uint32_t count) = 0;
    virtual bool getNumInputBuffers(std::uint32_t& count) = 0;
    // Sends a feature report; byte 0 is the report ID.
    virtual bool setFeature(const std::uint8_t* report, std::size_t size) = 0;
};

// The reading side of an interface, owned by one reader thread.
class HidReadHandle {
public:
    struct Result {
        enum Kind {
            Report, // an input report arrived: bytes of it are in the buffer
            Idle,   // nothing within the wait, or woken
            Failed, // the read could not be made: error holds the system's code
        };
        Kind kind = Idle;
        std::uint32_t bytes = 0;
        std::uint32_t error = 0;
    };

    virtual ~HidReadHandle() = default;
    // Waits at most timeoutMs for one input report and writes it to buffer,
    // report ID first (0 for a device without numbered reports).
    virtual Result read(std::uint8_t* buffer, std::size_t size, int timeoutMs) = 0;
    // From any thread: a read waiting now or the next one returns Idle at once.
    virtual void wake() = 0;
};

// Tells the user-interface thread that HID interfaces were added or removed.
class HidDeviceWatch {
public:
    virtual ~HidDeviceWatch() = default;
};

class HidPlatform {
public:
    virtual ~HidPlatform() = default;

    // Whether HID devices can be reached at all; when not, the controller
    // works with an empty list.
    virtual bool present() const = 0;
    // The HID interfaces present now, in the system's order.
    virtual std::vector<HidInterfaceInfo> listInterfaces() = 0;
    // Opens an interface; null with *error set when it cannot be opened.
    virtual std::unique_ptr<HidHandle> open(const QString& devicePath, HidOpenMode mode,
                                            int* error) = 0;
    // Opens an interface for reading input reports. Called on the reader's
    // own thread.
    virtual std::unique_ptr<HidReadHandle> openRead(const QString& devicePath, int* error) = 0;
    // Calls onChange on the calling thread's event loop whenever interfaces
    // come or go, for as long as the returned watch lives. Null when changes
    // cannot be watched.
    virtual std::unique_ptr<HidDeviceWatch> watch(std::function<void()> onChange) = 0;
};

} // namespace velkor
