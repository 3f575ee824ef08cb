#pragma once

#include "link/connection/UsbWatchdogTarget.h"
#include "link/hid/UsbFrameAssembler.h"
#include "meter/MeterVariant.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace velkor {

class MessageBoxes;
class FrameSink;
class TJvHidDevice;
class TJvHidDeviceController;
struct LinkCounters;

// The meter on the USB cable: keeps the list of HID devices the controller
// reports, selects the cable (the last device named exactly "USB to Serial"),
// sends it the variant's line speed, attaches the variant's report handler
// while USB connect is down, and hands the frames to the decoder. The window
// mirrors USBConDown and the serial controls' visibility from here.
class UsbCableLink : public QObject, public UsbWatchdogTarget {
    Q_OBJECT
public:
    // Binds the controller's handlers (the controller should still be
    // loading). Accepted frames go to frames, the same way the serial
    // assembler delivers them.
    UsbCableLink(TJvHidDeviceController& HidCtl, FrameSink& frames, MeterVariant variant,
                 LinkCounters& counters, MessageBoxes& boxes, QObject* parent = nullptr);
    // Releases every device it checked out.
    ~UsbCableLink() override;

    // One item of the device registry: the device's name and the checked-out object.
    struct DevItem {
        QString text;
        TJvHidDevice* device = nullptr;
    };

    static constexpr const char* kCableName = "USB to Serial";
    static constexpr std::size_t kHistoryLines = 1000;

    // USBCon's click handler, after the click has set the button: down
    // connects, up disconnects.
    void USBConClick(bool down);
    // Sends the variant's line speed to the selected device.
    void SetFeatureClick();
    // Detaches the data handler of the selected device.
    void ReadBtnClick();
    // The watchdog's part of ending a link that delivers no meter data:
    // USBCon up (its click handler does not run) and the current device's
    // data handler removed.
    void releaseByWatchdog() override;

    QString DeviceName(TJvHidDevice* HidDev);
    // The cable configuration for a variant: report ID 0, the line speed as
    // a 32-bit little-endian number, 3, zeros.
    static std::array<std::uint8_t, 10> featureReport(MeterVariant variant);

    // Handlers of the controller.
    bool HidCtlEnumerate(TJvHidDevice* HidDev, int Idx);
    void HidCtlArrival(TJvHidDevice* HidDev);
    void HidCtlRemoval(TJvHidDevice* HidDev);
    void HidCtlDeviceChange(TJvHidDeviceController* Sender);
    void HidCtlDeviceDataError(TJvHidDevice* HidDev, std::uint32_t Error);

    // The variants' data handlers.
    void HALVINShowRead(TJvHidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                        std::uint16_t Size);
    void ShowRead(TJvHidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                  std::uint16_t Size);
    void FENWIKShowRead(TJvHidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                        std::uint16_t Size);

    const std::vector<DevItem>& DevListBox() const { return devListBox_; }
    // The selected item, -1 when none.
    int DevListBoxItemIndex() const { return itemIndex_; }
    TJvHidDevice* selectedDevice() const;
    // The newest lines last; the oldest leave beyond kHistoryLines.
    const std::deque<QString>& HistoryListBox() const { return history_; }
    TJvHidDevice* CurrentDevice() const { return currentDevice_; }
    const std::string& UsbRxHex() const { return assembler_.UsbRxHex(); }
    bool UsbFramePending() const { return assembler_.UsbFramePending(); }
    bool USBConDown() const { return usbConDown_; }
    bool serialControlsHidden() const { return serialControlsHidden_; }

    // Runs the decoding of one accepted frame: the window puts it on its
    // frame path (panel update, the error box for a frame that fails). A
    // failure is written down in the history either way, and the link goes
    // on with the next frame; without a runner the failure is only written
    // down.
    using FrameStep = std::function<void()>;
    std::function<void(const FrameStep& decode)> FrameRunner;

signals:
    // USBCon's state changed: by a click, or set up by the link (no click
    // handler runs then).
    void usbConChanged(bool down);
    // Hide the port panels and COMCon, or show the current port's panel and COMCon.
    void serialControlsHiddenChanged(bool hidden);
    // The device list was rebuilt.
    void deviceListRebuilt();

private:
    void appendHistory(const QString& line);
    void setUsbCon(bool down);
    void setSerialControlsHidden(bool hidden);
    void attachHandler(TJvHidDevice* dev);
    void showRead(UsbFrameAssembler::FrameEnd frameEnd, std::uint8_t ReportID,
                  const std::uint8_t* Data, std::uint16_t Size);
    void decodeFrame();
    void reportNoAccess(TJvHidDevice* dev);

    QPointer<TJvHidDeviceController> HidCtl_;
    FrameSink& frames_;
    LinkCounters& counters_;
    MessageBoxes& boxes_;
    MeterVariant variant_;
    UsbFrameAssembler assembler_;
    std::vector<DevItem> devListBox_;
    int itemIndex_ = -1;
    std::deque<QString> history_;
    TJvHidDevice* currentDevice_ = nullptr;
    bool usbConDown_ = false;
    bool serialControlsHidden_ = false;
};

} // namespace velkor
