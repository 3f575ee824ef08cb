#include "link/hid/TJvHidDeviceController.h"

#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceReadThread.h"

#include <QMetaObject>
#include <QtGlobal>
#include <algorithm>
#include <stdexcept>

namespace velkor {

namespace {

// Sets a device's FIsEnumerated for the length of one handler call.
class EnumeratedScope {
public:
    explicit EnumeratedScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~EnumeratedScope() { flag_ = false; }
    EnumeratedScope(const EnumeratedScope&) = delete;
    EnumeratedScope& operator=(const EnumeratedScope&) = delete;

private:
    bool& flag_;
};

} // namespace

TJvHidDeviceController::TJvHidDeviceController(HidPlatform& platform, QObject* owner)
    : QObject(owner), FPlatform(platform) {
    if (!FPlatform.present()) {
        return;
    }
    FWatch = FPlatform.watch([this] { notify(0); });
    // The first pass reports every device present; it runs when the event
    // loop first turns, after the owner has bound its handlers.
    QMetaObject::invokeMethod(
        this, [this] { notify(-1); }, Qt::QueuedConnection);
}

TJvHidDeviceController::~TJvHidDeviceController() {
    FDestroying = true;
    FDeviceChange = nullptr;
    FDeviceUnplug = nullptr;
    OnEnumerate = nullptr;
    FWatch.reset();
    const std::vector<TJvHidDevice*> list = std::move(FList);
    FList.clear();
    for (TJvHidDevice* dev : list) {
        dev->FMyController = nullptr;
        if (dev->FIsCheckedOut) {
            // Stays the application's to release; its reader ends here so
            // that no thread outlives the program's HID layer.
            dev->stopThread();
            dev->unplug();
        } else {
            delete dev;
        }
    }
    TJvHidDeviceReadThread::stopAll();
}

void TJvHidDeviceController::notify(std::int32_t lParam) {
    if (FDestroying) {
        return;
    }
    if (FInDeviceChange) {
        // A handler of the running pass turned the event loop and the device
        // set changed meanwhile: look again once this pass is over, instead
        // of losing the change.
        FChangedDuringPass = true;
        return;
    }
    FLParam = lParam;
    FInDeviceChange = true;
    FChangedDuringPass = false;
    try {
        DeviceChange();
    } catch (const std::exception& e) {
        FInDeviceChange = false;
        if (OnNotificationError) {
            OnNotificationError(e);
        } else {
            qWarning("HID device change: %s", e.what());
        }
    }
    FInDeviceChange = false;
    if (FChangedDuringPass) {
        FChangedDuringPass = false;
        QMetaObject::invokeMethod(
            this, [this] { notify(0); }, Qt::QueuedConnection);
    }
}

void TJvHidDeviceController::DeviceChange() {
    bool Changed = FLParam == -1;

    // The interfaces present now, as fresh device objects.
    std::vector<std::unique_ptr<TJvHidDevice>> fresh;
    if (FPlatform.present()) {
        for (const HidInterfaceInfo& info : FPlatform.listInterfaces()) {
            fresh.push_back(std::make_unique<TJvHidDevice>(
                TJvHidPnPInfo{info.DeviceID, info.DevicePath}, this, FPlatform));
        }
    }
    const auto inFresh = [&fresh](std::uint32_t id) {
        return std::any_of(fresh.begin(), fresh.end(),
                           [id](const auto& f) { return f && f->FPnPInfo.DeviceID == id; });
    };

    // Removals, last to first.
    for (std::size_t i = FList.size(); i-- > 0;) {
        if (i >= FList.size()) {
            continue; // a handler shortened the list
        }
        TJvHidDevice* dev = FList[i];
        if (dev->FIsPluggedIn && inFresh(dev->FPnPInfo.DeviceID)) {
            continue;
        }
        dev->unplug();
        if (OnRemoval) {
            EnumeratedScope scope(dev->FIsEnumerated);
            OnRemoval(dev);
        }
        const auto it = std::find(FList.begin(), FList.end(), dev);
        if (it != FList.end() && !dev->FIsCheckedOut) {
            FList.erase(it);
            delete dev;
        }
        Changed = true;
    }

    // Interfaces already listed keep their objects.
    for (auto& f : fresh) {
        const std::uint32_t id = f->FPnPInfo.DeviceID;
        if (std::any_of(FList.begin(), FList.end(), [id](const TJvHidDevice* d) {
                return d->FIsPluggedIn && d->FPnPInfo.DeviceID == id;
            })) {
            f->FMyController = nullptr;
            f.reset();
        }
    }

    // Arrivals, in discovery order.
    for (auto& f : fresh) {
        if (!f) {
            continue;
        }
        TJvHidDevice* dev = f.release();
        FList.push_back(dev);
        Changed = true;
        if (OnArrival) {
            EnumeratedScope scope(dev->FIsEnumerated);
            OnArrival(dev);
        }
    }

    recount();
    if (Changed && FDeviceChange) {
        const TJvHidDeviceChangeEvent handler = FDeviceChange;
        handler(this);
    }
}

void TJvHidDeviceController::recount() {
    FNumCheckedInDevices = 0;
    FNumCheckedOutDevices = 0;
    FNumUnpluggedDevices = 0;
    for (const TJvHidDevice* dev : FList) {
        if (dev->FIsCheckedOut) {
            ++FNumCheckedOutDevices;
        } else {
            ++FNumCheckedInDevices;
        }
        if (!dev->FIsPluggedIn) {
            ++FNumUnpluggedDevices;
        }
    }
    FNumCheckedOutDevices -= FNumUnpluggedDevices;
}

int TJvHidDeviceController::Enumerate() {
    int visited = 0;
    for (std::size_t i = 0; i < FList.size(); ++i) {
        TJvHidDevice* dev = FList[i];
        if (!dev->FIsPluggedIn) {
            continue;
        }
        ++visited;
        bool goOn = false;
        {
            EnumeratedScope scope(dev->FIsEnumerated);
            if (OnEnumerate) {
                goOn = OnEnumerate(dev, static_cast<int>(i));
            }
        }
        if (!dev->FIsCheckedOut) {
            dev->closeFile();
        }
        if (!goOn) {
            break;
        }
    }
    return visited;
}

bool TJvHidDeviceController::CheckOutByIndex(TJvHidDevice*& HidDev, int Idx) {
    HidDev = nullptr;
    if (Idx < 0 || static_cast<std::size_t>(Idx) >= FList.size()) {
        return false;
    }
    TJvHidDevice* dev = FList[static_cast<std::size_t>(Idx)];
    if (dev->FIsCheckedOut) {
        return false;
    }
    dev->FIsCheckedOut = true;
    ++FNumCheckedOutDevices;
    --FNumCheckedInDevices;
    dev->startThread();
    HidDev = dev;
    return true;
}

void TJvHidDeviceController::CheckIn(TJvHidDevice*& HidDev) {
    TJvHidDevice* dev = HidDev;
    HidDev = nullptr;
    if (!dev || !dev->stopThread()) {
        return;
    }
    dev->closeFile();
    if (dev->FIsPluggedIn) {
        dev->FIsCheckedOut = false;
    } else {
        std::erase(FList, dev);
        dev->FMyController = nullptr;
        delete dev;
    }
    recount();
}

void TJvHidDeviceController::deviceDestroyed(TJvHidDevice* dev, const TJvHidDataEvent& data,
                                             const TJvHidPlugEvent& unplugHandler) {
    const auto it = std::find(FList.begin(), FList.end(), dev);
    if (it == FList.end()) {
        return;
    }
    if (!dev->FIsPluggedIn) {
        FList.erase(it);
        recount();
        return;
    }
    // Still plugged in: a fresh checked-in object takes its place.
    TJvHidDevice* replacement = nullptr;
    try {
        replacement = new TJvHidDevice(dev->FPnPInfo, this, FPlatform);
    } catch (const HidError& e) {
        // Gone between the pass and now: leave the list, and let a pass
        // find out whether the interface is still there.
        FList.erase(it);
        recount();
        qWarning("HID device %s: %s", qPrintable(dev->FPnPInfo.DevicePath), e.what());
        QMetaObject::invokeMethod(
            this, [this] { notify(0); }, Qt::QueuedConnection);
        return;
    }
    replacement->FData = data;
    replacement->FUnplug = unplugHandler;
    replacement->FThreadSleepTime = dev->FThreadSleepTime;
    *it = replacement;
    recount();
}

void TJvHidDeviceController::clearHandlers() {
    OnArrival = nullptr;
    OnRemoval = nullptr;
    OnEnumerate = nullptr;
    OnNotificationError = nullptr;
    FDeviceChange = nullptr;
    setOnDeviceData(nullptr);
    setOnDeviceDataError(nullptr);
    setOnDeviceUnplug(nullptr);
}

void TJvHidDeviceController::setOnDeviceChange(TJvHidDeviceChangeEvent handler) {
    if (handler == FDeviceChange) {
        return;
    }
    FDeviceChange = std::move(handler);
    if (!FLoading) {
        DeviceChange();
    }
}

void TJvHidDeviceController::setOnDeviceData(TJvHidDataEvent handler) {
    const TJvHidDataEvent old = FDeviceData;
    FDeviceData = handler;
    for (TJvHidDevice* dev : std::vector<TJvHidDevice*>(FList)) {
        if (dev->FData == old) {
            dev->setOnData(handler);
        }
    }
}

void TJvHidDeviceController::setOnDeviceDataError(TJvHidDataErrorEvent handler) {
    const TJvHidDataErrorEvent old = FDeviceDataError;
    FDeviceDataError = handler;
    for (TJvHidDevice* dev : FList) {
        if (dev->FDataError == old) {
            dev->FDataError = handler;
        }
    }
}

void TJvHidDeviceController::setOnDeviceUnplug(TJvHidPlugEvent handler) {
    const TJvHidPlugEvent old = FDeviceUnplug;
    FDeviceUnplug = handler;
    for (TJvHidDevice* dev : FList) {
        if (dev->FUnplug == old) {
            dev->FUnplug = handler;
        }
    }
}

void TJvHidDeviceController::setDevThreadSleepTime(int milliseconds) {
    const int old = FDevThreadSleepTime;
    FDevThreadSleepTime = milliseconds;
    for (TJvHidDevice* dev : FList) {
        if (dev->FThreadSleepTime == old) {
            dev->setThreadSleepTime(milliseconds);
        }
    }
}

} // namespace velkor
