#include "link/connection/ConnectionControl.h"

#include "link/connection/LinkCounters.h"
#include "link/connection/SerialFailureText.h"
#include "link/connection/UsbWatchdogTarget.h"
#include "link/serial/TCommPortDriver.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialPortNames.h"

#include <cerrno>

namespace velkor {

namespace {

const QString kInformation = QStringLiteral("インフォメーション");

QString portAndPath(TComPortNumber port, const QString& path) {
    return QStringLiteral("%1 (%2)").arg(QLatin1String(comPortName(port)),
                                         path.isEmpty() ? QStringLiteral("デバイスなし") : path);
}

// What the user can do about a port that would not open.
QString remedy(const SerialPortNames& names, TComPortNumber port, int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral(
            "このポートを使う権限がありません。ユーザーを dialout グループに加え"
            "（sudo usermod -aG dialout ユーザー名）、ログインし直してください。");
    case EBUSY:
        return QStringLiteral(
            "別のプログラムがこのポートを使用中です。そのプログラムを終了してから、"
            "再度ボタンを押してください。");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("デバイスが見つかりません。ケーブルとアダプタの接続を確認してください"
                              "（環境変数 %1 でデバイスのパスを指定できます）。")
            .arg(names.settingName(port));
    case EINVAL: return QStringLiteral("このポートではこの通信設定を使えません。");
    default: return {};
    }
}

} // namespace

ConnectionControl::ConnectionControl(TCommPortDriver& COMM2, LinkCounters& counters,
                                     MessageBoxes& boxes, QObject* parent)
    : QObject(parent), COMM2_(COMM2), counters_(counters), boxes_(boxes) {
    bar_.portPanelVisible = {};
    bar_.portPanelVisible[COMM2_.ComPort()] = true;
    COMM2_.setOnLinkLost([this](TCommPortDriver*, const SerialPortError& e) { COMLinkLost(e); });
    refreshPortPaths();
    published_ = bar_;
}

ConnectionControl::~ConnectionControl() {
    COMM2_.setOnLinkLost(nullptr);
}

LinkState ConnectionControl::state() const {
    if (bar_.COMConDown) {
        return LinkState::COM;
    }
    return bar_.COMConVisible ? LinkState::Idle : LinkState::USB;
}

void ConnectionControl::publish() {
    if (bar_ != published_) {
        published_ = bar_;
        emit barChanged();
    }
}

void ConnectionControl::refreshPortPaths() {
    for (int n = pnCOM1; n <= pnCOM4; ++n) {
        bar_.portDevicePaths[n] = COMM2_.portNames().devicePath(static_cast<TComPortNumber>(n));
    }
    publish();
}

void ConnectionControl::selectPort(TComPortNumber port) {
    if (!bar_.portPanelsEnabled) {
        return;
    }
    // Show the panel of the port, hide the other three.
    bar_.portPanelVisible = {};
    bar_.portPanelVisible[port] = true;
    // The driver ignores this while connected.
    COMM2_.setComPort(port);
    refreshPortPaths();
    publish();
}

void ConnectionControl::COM11Click() {
    selectPort(pnCOM1);
}
void ConnectionControl::COM21Click() {
    selectPort(pnCOM2);
}
void ConnectionControl::COM31Click() {
    selectPort(pnCOM3);
}
void ConnectionControl::COM41Click() {
    selectPort(pnCOM4);
}

void ConnectionControl::setIdle() {
    bar_.USBConVisible = true;
    bar_.COMConDown = false;
    bar_.portPanelsEnabled = true;
}

void ConnectionControl::COMConClick(bool down) {
    bar_.COMConDown = down;
    if (!down) {
        setIdle();
        COMM2_.Disconnect();
        publish();
        return;
    }
    bar_.USBConVisible = false;
    refreshPortPaths();
    if (COMM2_.Connect()) {
        bar_.portPanelsEnabled = false;
        publish();
        return;
    }
    // A port that did not open is no link: back to Idle, and say why.
    setIdle();
    publish();
    boxes_.show(openFailedText(COMM2_.ComPort(), COMM2_.lastError()), kInformation,
                MessageBoxes::Icon::Warning, MessageBoxes::Buttons::Ok);
}

void ConnectionControl::COMLinkLost(const SerialPortError& error) {
    // The driver has closed the port already; the bar returns to Idle.
    setIdle();
    publish();
    boxes_.show(linkLostText(COMM2_.ComPort(), error), kInformation, MessageBoxes::Icon::Warning,
                MessageBoxes::Buttons::Ok);
}

void ConnectionControl::ConTimerTimer() {
    // Two quiet ticks pass before the link counts as idle.
    if (counters_.LinkIdleTicks != 2) {
        ++counters_.LinkIdleTicks;
        return;
    }
    // The USB watchdog. The count goes to 0 before the box, so ticks
    // while the box is open do not show it again.
    if (counters_.EmptyReportCount >= kUsbWatchdogReports) {
        counters_.EmptyReportCount = 0;
        bar_.USBConDown = false;
        if (usb_) {
            usb_->releaseByWatchdog();
        }
        publish();
        boxes_.information(QStringLiteral("USBケーブルが接続されていません。ケーブルを接続後、"
                                          "再度ボタンを押してください。"),
                           kInformation);
    }
    // No frame for a while: the link mark goes off.
    bar_.CONokShown = false;
    publish();
    counters_.LinkIdleTicks = 0;
}

void ConnectionControl::frameArriving() {
    counters_.LinkIdleTicks = 0;
    bar_.CONokShown = true;
    publish();
}

void ConnectionControl::setUsbConDown(bool down) {
    bar_.USBConDown = down;
    publish();
}

void ConnectionControl::setSerialControlsHidden(bool hidden) {
    if (hidden) {
        bar_.portPanelVisible = {};
        bar_.COMConVisible = false;
    } else {
        bar_.portPanelVisible = {};
        bar_.portPanelVisible[COMM2_.ComPort()] = true;
        bar_.COMConVisible = true;
    }
    publish();
}

QString ConnectionControl::openFailedText(TComPortNumber port, const SerialPortError& error) const {
    QString text = QStringLiteral("%1 を開けませんでした。\n理由: %2")
                       .arg(portAndPath(port, error.devicePath),
                            serialFailureText(error, COMM2_.lineSettings()));
    if (const QString r = remedy(COMM2_.portNames(), port, error.code); !r.isEmpty()) {
        text += QLatin1Char('\n') + r;
    }
    return text;
}

QString ConnectionControl::linkLostText(TComPortNumber port, const SerialPortError& error) const {
    return QStringLiteral("%1 との接続が切れました。\n理由: %2\n"
                          "ケーブルを接続後、再度「COM接続」ボタンを押してください。")
        .arg(portAndPath(port, error.devicePath), serialFailureText(error, COMM2_.lineSettings()));
}

} // namespace velkor
