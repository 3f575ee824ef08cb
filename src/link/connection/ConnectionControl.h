#pragma once

#include "link/serial/ComPortTypes.h"

#include <QObject>
#include <QString>
#include <array>

namespace velkor {

class MessageBoxes;
class TCommPortDriver;
class UsbWatchdogTarget;
struct LinkCounters;
struct SerialPortError;

// What the connection bar and the link mark show. The window mirrors it into
// its controls after every barChanged().
struct ConnectionBar {
    std::array<bool, 4> portPanelVisible{true, false, false, false}; // BtCOM1 .. BtCOM4
    bool portPanelsEnabled = true;
    std::array<QString, 4> portDevicePaths; // what COM1 .. COM4 open (the panels' tooltips)
    bool COMConVisible = true;
    bool COMConDown = false;
    bool USBConVisible = true;
    bool USBConDown = false;
    bool CONokShown = false; // CONokN is shown when CONok is not

    bool operator==(const ConnectionBar&) const = default;
};

enum class LinkState { Idle, COM, USB };

// The connection bar's logic: the port selector, the COM link button, the
// exclusion of the COM and USB links, the link mark and the connection timer
// with the USB watchdog. It drives the serial port driver COMM2 and asks the
// USB link (UsbWatchdogTarget) to let go when the watchdog strikes.
class ConnectionControl : public QObject {
    Q_OBJECT
public:
    ConnectionControl(TCommPortDriver& COMM2, LinkCounters& counters, MessageBoxes& boxes,
                      QObject* parent = nullptr);
    ~ConnectionControl() override;

    // The USB link, once there is one; null for none.
    void setUsbWatchdogTarget(UsbWatchdogTarget* usb) { usb_ = usb; }

    // Port panel clicks: each panel selects the next port (the click on
    // BtCOM4 selects COM1, on BtCOM1 COM2, ...). No effect while the panels
    // are disabled.
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    // COMCon after a click changed it: down opens the port, up closes it. A
    // port that cannot be opened is reported and the button springs back up.
    void COMConClick(bool down);
    // Every 100 ms: the link mark and the USB watchdog.
    void ConTimerTimer();
    // The decoder is decoding a frame: the mark shows data.
    void frameArriving();

    // The USB link's side of the bar: USBCon set by a click or by the link,
    // and the serial controls hidden (USB link on) or shown again (off).
    void setUsbConDown(bool down);
    void setSerialControlsHidden(bool hidden);

    // Looks up the device paths of COM1 .. COM4 again (adapters come and go).
    void refreshPortPaths();

    const ConnectionBar& bar() const { return bar_; }
    LinkState state() const;

    // The messages shown when a port cannot be opened or is lost.
    QString openFailedText(TComPortNumber port, const SerialPortError& error) const;
    QString linkLostText(TComPortNumber port, const SerialPortError& error) const;

    static constexpr int kUsbWatchdogReports = 1900;

signals:
    void barChanged();

private:
    void selectPort(TComPortNumber port);
    void setIdle();
    void COMLinkLost(const SerialPortError& error);
    void publish();

    TCommPortDriver& COMM2_;
    LinkCounters& counters_;
    MessageBoxes& boxes_;
    UsbWatchdogTarget* usb_ = nullptr;
    ConnectionBar bar_;
    ConnectionBar published_;
};

} // namespace velkor
