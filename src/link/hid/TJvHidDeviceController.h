#pragma once

#include "link/hid/HidEvent.h"
#include "platform/HidPlatform.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace velkor {

class TJvHidDevice;

// Keeps the list of HID interfaces present, follows devices as they come and
// go (one device-change pass per notification), and hands out device
// objects. Lives on the user-interface thread.
class TJvHidDeviceController : public QObject {
    Q_OBJECT
public:
    // Starts in the loading state of a window being built: handlers assigned
    // before Loaded() run no pass. When HID devices can be reached, the first
    // pass is posted to the event loop and runs when it first turns.
    explicit TJvHidDeviceController(HidPlatform& platform, QObject* owner = nullptr);
    ~TJvHidDeviceController() override;

    // Ends the loading state.
    void Loaded() { FLoading = false; }
    // Drops every handler without a pass, for an owner of the handlers that
    // goes away before the controller.
    void clearHandlers();

    // Calls OnEnumerate for every plugged device in list order with its list
    // index; false from the handler stops (no handler: stops after the first).
    // Returns the number of devices visited.
    int Enumerate();
    // Hands out the device at Idx unless it is already checked out.
    bool CheckOutByIndex(TJvHidDevice*& HidDev, int Idx);
    // Takes a checked-out device back (an unplugged one is destroyed).
    void CheckIn(TJvHidDevice*& HidDev);
    // One device-change pass. Throws HidError when a device object cannot be
    // made; the list is then as before the pass.
    void DeviceChange();
    // The notification routine: a pass unless the controller is being
    // destroyed. lParam -1 reports every device. A notification during a
    // pass is answered by one more pass after it. A failure of the pass goes
    // to OnNotificationError (qWarning without one): it must not cross the
    // event loop.
    void notify(std::int32_t lParam);

    // The known devices in order of discovery (unplugged checked-out ones stay).
    const std::vector<TJvHidDevice*>& List() const { return FList; }
    int NumCheckedInDevices() const { return FNumCheckedInDevices; }
    int NumCheckedOutDevices() const { return FNumCheckedOutDevices; }
    int NumUnpluggedDevices() const { return FNumUnpluggedDevices; }
    bool InDeviceChange() const { return FInDeviceChange; }
    HidPlatform& platform() const { return FPlatform; }
    static constexpr const char* Version = "1.0.35";

    TJvHidPlugEvent OnArrival;
    TJvHidPlugEvent OnRemoval;
    TJvHidEnumerateEvent OnEnumerate;
    std::function<void(const std::exception&)> OnNotificationError;

    const TJvHidDeviceChangeEvent& OnDeviceChange() const { return FDeviceChange; }
    // A different handler, outside loading, runs a pass at once.
    void setOnDeviceChange(TJvHidDeviceChangeEvent handler);

    // Given to every device made; a new value replaces the old one on the
    // devices that still carry it.
    const TJvHidDataEvent& OnDeviceData() const { return FDeviceData; }
    void setOnDeviceData(TJvHidDataEvent handler);
    const TJvHidDataErrorEvent& OnDeviceDataError() const { return FDeviceDataError; }
    void setOnDeviceDataError(TJvHidDataErrorEvent handler);
    const TJvHidPlugEvent& OnDeviceUnplug() const { return FDeviceUnplug; }
    void setOnDeviceUnplug(TJvHidPlugEvent handler);
    int DevThreadSleepTime() const { return FDevThreadSleepTime; }
    void setDevThreadSleepTime(int milliseconds);

private:
    friend class TJvHidDevice;

    // A destroyed device leaves the list, or, still plugged in, is replaced
    // by a fresh checked-in object carrying its data and unplug handlers.
    void deviceDestroyed(TJvHidDevice* dev, const TJvHidDataEvent& data,
                         const TJvHidPlugEvent& unplugHandler);
    void recount();

    HidPlatform& FPlatform;
    std::vector<TJvHidDevice*> FList;
    std::unique_ptr<HidDeviceWatch> FWatch;
    TJvHidDeviceChangeEvent FDeviceChange;
    TJvHidDataEvent FDeviceData;
    TJvHidDataErrorEvent FDeviceDataError;
    TJvHidPlugEvent FDeviceUnplug;
    int FDevThreadSleepTime = 100;
    int FNumCheckedInDevices = 0;
    int FNumCheckedOutDevices = 0;
    int FNumUnpluggedDevices = 0;
    bool FInDeviceChange = false;
    bool FChangedDuringPass = false;
    bool FDestroying = false;
    bool FLoading = true;
    std::int32_t FLParam = 0;
};

} // namespace velkor
