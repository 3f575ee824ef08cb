// The USB cable link (USBCon and the HID controller).

#include "app/TFCOMM.h"

#include "link/connection/ConnectionControl.h"
#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/UsbCableLink.h"
#include "pipeline/MeterPipeline.h"

#include <QPushButton>

namespace velkor {

// The HID controller HidCtl (loading until its handlers are bound), the cable
// link over it, and USBCon. The link drives the connection bar through the
// connection control: USBCon's state, the serial controls hidden while USB is
// on, and the watchdog that lets the link go when only empty reports come.
void TFCOMM::wireUsbArea() {
    HidCtl = std::make_unique<TJvHidDeviceController>(services_.hid);
    HidCtl->setObjectName(QStringLiteral("HidCtl"));
    // A pass that fails (a device that cannot be opened or identified) must
    // not cross the event loop; the user sees it and the next notification
    // tries again.
    HidCtl->OnNotificationError = [this](const std::exception& e) { showError(e); };
    usbLink = std::make_unique<UsbCableLink>(*HidCtl, *pipeline_, pipeline_->variant(),
                                             linkCounters, boxes());
    usbLink->FrameRunner = [this](const UsbCableLink::FrameStep& decode) { runFramePath(decode); };

    connect(usbLink.get(), &UsbCableLink::usbConChanged, connection.get(),
            &ConnectionControl::setUsbConDown);
    connect(usbLink.get(), &UsbCableLink::serialControlsHiddenChanged, connection.get(),
            &ConnectionControl::setSerialControlsHidden);
    connection->setUsbWatchdogTarget(usbLink.get());
    // Any activation that toggles it, as COMCon (the bar's connection to
    // the toggle, made first, runs before the handler).
    connect(USBCon, &QPushButton::toggled, this, handler(&TFCOMM::USBConClick));

    // The first device-change pass runs when the event loop starts.
    HidCtl->Loaded();
}

void TFCOMM::USBConClick() {
    if (usbLink) {
        usbLink->USBConClick(USBCon->isChecked());
    }
}

void TFCOMM::releaseUsb() {
    if (connection) {
        connection->setUsbWatchdogTarget(nullptr);
    }
    // The link destroys every device it checked out, which stops their
    // readers; the controller then ends the rest and stops watching.
    usbLink.reset();
    HidCtl.reset();
}

} // namespace velkor
