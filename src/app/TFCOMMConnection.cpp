// Connection bar (port panels, COMCon), the link marks and ConTimer, over the
// serial port component COMM2 and the connection control of the core.

#include "app/TFCOMM.h"

#include "app/LcdPicture.h"
#include "app/PanelButton.h"
#include "decode/StartValues.h"
#include "link/connection/ConnectionControl.h"
#include "link/serial/TCommPortDriver.h"

#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

namespace velkor {

// The serial component with its designed properties, the connection control
// over it, and the handlers of the connection bar and ConTimer.
void TFCOMM::wireConnectionArea() {
    COMM2 =
        std::make_unique<TCommPortDriver>(services_.serial, services_.clock, services_.portNames);
    COMM2->setObjectName(QStringLiteral("COMM2"));
    COMM2->setComPort(pnCOM1);
    COMM2->setComPortSpeed(br2400);
    COMM2->setComPortPollingDelay(100);
    connection = std::make_unique<ConnectionControl>(*COMM2, linkCounters, boxes());
    connect(connection.get(), &ConnectionControl::barChanged, this, &TFCOMM::mirrorConnectionBar);

    // Each panel selects the next port.
    connect(BtCOM4, &PanelButton::clicked, this, handler(&TFCOMM::COM11Click));
    connect(BtCOM1, &PanelButton::clicked, this, handler(&TFCOMM::COM21Click));
    connect(BtCOM2, &PanelButton::clicked, this, handler(&TFCOMM::COM31Click));
    connect(BtCOM3, &PanelButton::clicked, this, handler(&TFCOMM::COM41Click));
    // Any activation that toggles the button runs its handler: a click, a
    // key, or the accessibility interface, whose only action for a toggle
    // button is "Toggle" (a toggle, not a click). The program's own changes
    // of its state come from the bar and are made with signals blocked.
    connect(COMCon, &QPushButton::toggled, this, handler(&TFCOMM::COMConClick));
    connect(ConTimer, &QTimer::timeout, this, handler(&TFCOMM::ConTimerTimer));
    // USBCon, pressed by the user or set by the USB link, belongs to the bar.
    connect(USBCon, &QPushButton::toggled, connection.get(), &ConnectionControl::setUsbConDown);
    mirrorConnectionBar();
}

// The variant's serial side: its receive handler and line speed.
void TFCOMM::applySerialStartValues(const StartValues& start) {
    if (start.assembler == SerialAssemblerKind::Nibble) {
        COMM2->setOnReceiveData([this](TCommPortDriver*, const std::uint8_t* p, std::int32_t n) {
            RECEIVE_NIBBLE_Data(p, n);
        });
    } else {
        COMM2->setOnReceiveData([this](TCommPortDriver*, const std::uint8_t* p, std::int32_t n) {
            RECEIVE_COM_Data(p, n);
        });
    }
    COMM2->setComPortSpeed(baudRateOf(start.serialBaud));
}

void TFCOMM::COM11Click() {
    connection->COM11Click();
}
void TFCOMM::COM21Click() {
    connection->COM21Click();
}
void TFCOMM::COM31Click() {
    connection->COM31Click();
}
void TFCOMM::COM41Click() {
    connection->COM41Click();
}
void TFCOMM::COMConClick() {
    connection->COMConClick(COMCon->isChecked());
}
void TFCOMM::ConTimerTimer() {
    connection->ConTimerTimer();
}

void TFCOMM::mirrorConnectionBar() {
    const ConnectionBar& b = connection->bar();
    PanelButton* const panels[] = {BtCOM1, BtCOM2, BtCOM3, BtCOM4};
    for (int i = 0; i < 4; ++i) {
        panels[i]->setVisible(b.portPanelVisible[i]);
        panels[i]->setEnabled(b.portPanelsEnabled);
        panels[i]->setToolTip(b.portDevicePaths[i].isEmpty() ? QStringLiteral("デバイスなし")
                                                             : b.portDevicePaths[i]);
    }
    COMCon->setVisible(b.COMConVisible);
    USBCon->setVisible(b.USBConVisible);
    {
        // The bar's state, not an activation by the user.
        const QSignalBlocker comQuiet(COMCon);
        const QSignalBlocker usbQuiet(USBCon);
        COMCon->setChecked(b.COMConDown);
        USBCon->setChecked(b.USBConDown);
    }
    CONok->setVisible(b.CONokShown);
    CONokN->setVisible(!b.CONokShown);
}

} // namespace velkor
