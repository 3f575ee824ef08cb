#pragma once

#include "link/hid/HidEvent.h"
#include "platform/HidPlatform.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

namespace velkor {

class TJvHidDeviceController;
class TJvHidDeviceReadThread;

// A device object could not be made: "Device cannot be opened" or
// "Device cannot be identified".
class HidError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The plug-and-play record of one interface.
struct TJvHidPnPInfo {
    std::uint32_t DeviceID = 0; // identity between device-change passes
    QString DevicePath;         // what is opened
};

// One HID device interface. Owned by its controller while checked in, by
// the application while checked out; destroying a checked-out device that is
// still plugged in gives the controller a fresh checked-in one in its place.
// Used on the user-interface thread only.
class TJvHidDevice {
public:
    // Opens the interface for its attributes; throws HidError when it cannot.
    TJvHidDevice(const TJvHidPnPInfo& pnp, TJvHidDeviceController* controller,
                 HidPlatform& platform);
    ~TJvHidDevice();

    TJvHidDevice(const TJvHidDevice&) = delete;
    TJvHidDevice& operator=(const TJvHidDevice&) = delete;

    // Identity. The strings are read only while the device is accessible and
    // kept once they are not empty.
    QString ProductName();
    QString SerialNumber();
    const HidAttributes& Attributes() const { return FAttributes; }
    const TJvHidPnPInfo& PnPInfo() const { return FPnPInfo; }
    bool HasReadWriteAccess() const { return FHasReadWriteAccess; }
    // The system's code for the last failed read/write opening, 0 after success.
    int ReadWriteError() const { return FReadWriteError; }
    // Length of the longest input report, the report ID byte included
    // (fetched once; 0 while it cannot be read).
    std::uint32_t InputReportByteLength();

    bool IsPluggedIn() const { return FIsPluggedIn; }
    bool IsCheckedOut() const { return FIsCheckedOut; }
    bool IsEnumerated() const { return FIsEnumerated; }
    TJvHidDeviceController* MyController() const { return FMyController; }

    // Sends a feature report (byte 0 the report ID); the shared handle stays open.
    bool SetFeature(const std::uint8_t* Report, std::uint32_t Size);

    const TJvHidDataEvent& OnData() const { return FData; }
    // Clearing stops the reader first (serving a report in flight); the
    // reader runs while a handler is set, the device is plugged in, checked
    // out and opened with read/write access.
    void setOnData(TJvHidDataEvent handler);
    const TJvHidDataErrorEvent& OnDataError() const { return FDataError; }
    void setOnDataError(TJvHidDataErrorEvent handler) { FDataError = std::move(handler); }
    const TJvHidPlugEvent& OnUnplug() const { return FUnplug; }
    void setOnUnplug(TJvHidPlugEvent handler) { FUnplug = std::move(handler); }

    int ThreadSleepTime() const { return FThreadSleepTime; }
    void setThreadSleepTime(int milliseconds);
    std::uint32_t NumInputBuffers() const { return FNumInputBuffers; }
    void setNumInputBuffers(std::uint32_t count) { FNumInputBuffers = count; }

    // Whether a reader exists (running, or ended after a failing handler).
    bool HasReader() const { return FReader != nullptr; }

private:
    friend class TJvHidDeviceController;

    // May open handles: plugged in and checked out or being enumerated.
    bool accessible() const { return FIsPluggedIn && (FIsCheckedOut || FIsEnumerated); }
    // Opens the shared handle for reading and writing, or with no access
    // when that fails; HasReadWriteAccess follows the outcome.
    bool openShared();
    // openShared() while accessible, then the input buffer count.
    bool openFile();
    void closeFile();
    // Found gone: handles closed, OnUnplug called once. The reader goes on.
    void unplug();
    void startThread();
    // False when the device was destroyed meanwhile (by a handler served
    // while the reader stopped).
    bool stopThread();

    HidPlatform& FPlatform;
    TJvHidDeviceController* FMyController;
    TJvHidPnPInfo FPnPInfo;
    bool FIsPluggedIn = true;
    bool FIsCheckedOut = false;
    bool FIsEnumerated = false;
    bool FHasReadWriteAccess = false;
    int FReadWriteError = 0;
    std::unique_ptr<HidHandle> HidFileHandle;
    HidAttributes FAttributes;
    QString FProductName;
    QString FSerialNumber;
    std::optional<std::uint32_t> FInputReportByteLength;
    std::uint32_t FNumInputBuffers = 0;
    int FThreadSleepTime = 100;
    TJvHidDataEvent FData;
    TJvHidDataErrorEvent FDataError;
    TJvHidPlugEvent FUnplug;
    std::unique_ptr<TJvHidDeviceReadThread> FReader;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace velkor
