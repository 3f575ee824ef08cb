#include "link/hid/UsbCableLink.h"

#include "link/connection/LinkCounters.h"
#include "link/hid/TJvHidDevice.h"
#include "link/hid/TJvHidDeviceController.h"
#include "meter/FrameSink.h"
#include "platform/MessageBoxes.h"
#include "platform/posix/SystemErrorText.h"

#include <cstring>

namespace velkor {

namespace {

const QString kInformation = QStringLiteral("インフォメーション");
const QString kNoCable = QStringLiteral(
    "USBケーブルが接続されていません。ケーブルを接続後、再度ボタンを押してください。");

// The system's text for an error code, without trailing blanks, control
// characters and full stops.
QString systemMessage(std::uint32_t code) {
    QString text = QString::fromLocal8Bit(std::strerror(static_cast<int>(code)));
    while (!text.isEmpty() && (text.back().unicode() <= 32 || text.back() == QLatin1Char('.'))) {
        text.chop(1);
    }
    return text;
}

QString hexCode(std::uint32_t code) {
    return QString::number(code, 16).toUpper();
}

} // namespace

UsbCableLink::UsbCableLink(TJvHidDeviceController& HidCtl, FrameSink& frames, MeterVariant variant,
                           LinkCounters& counters, MessageBoxes& boxes, QObject* parent)
    : QObject(parent), HidCtl_(&HidCtl), frames_(frames), counters_(counters), boxes_(boxes),
      variant_(variant),
      assembler_(frames.frameHex(), counters.EmptyReportCount, [this] { decodeFrame(); }) {
    HidCtl.OnEnumerate = TJvHidEnumerateEvent::method<&UsbCableLink::HidCtlEnumerate>(this);
    HidCtl.OnArrival = TJvHidPlugEvent::method<&UsbCableLink::HidCtlArrival>(this);
    HidCtl.OnRemoval = TJvHidPlugEvent::method<&UsbCableLink::HidCtlRemoval>(this);
    HidCtl.setOnDeviceDataError(
        TJvHidDataErrorEvent::method<&UsbCableLink::HidCtlDeviceDataError>(this));
    HidCtl.setOnDeviceChange(
        TJvHidDeviceChangeEvent::method<&UsbCableLink::HidCtlDeviceChange>(this));
}

UsbCableLink::~UsbCableLink() {
    if (HidCtl_) {
        HidCtl_->clearHandlers();
    }
    currentDevice_ = nullptr;
    const std::vector<DevItem> items = std::move(devListBox_);
    devListBox_.clear();
    for (const DevItem& item : items) {
        delete item.device;
    }
}

TJvHidDevice* UsbCableLink::selectedDevice() const {
    if (devListBox_.empty() || itemIndex_ < 0) {
        return nullptr;
    }
    return devListBox_[static_cast<std::size_t>(itemIndex_)].device;
}

void UsbCableLink::appendHistory(const QString& line) {
    history_.push_back(line);
    while (history_.size() > kHistoryLines) {
        history_.pop_front();
    }
}

void UsbCableLink::setUsbCon(bool down) {
    if (usbConDown_ != down) {
        usbConDown_ = down;
        emit usbConChanged(down);
    }
}

void UsbCableLink::setSerialControlsHidden(bool hidden) {
    serialControlsHidden_ = hidden;
    emit serialControlsHiddenChanged(hidden);
}

QString UsbCableLink::DeviceName(TJvHidDevice* HidDev) {
    QString name = HidDev->ProductName();
    if (name.isEmpty()) {
        name = QString::asprintf("Device VID=%.4X PID=%.4X", HidDev->Attributes().VendorID,
                                 HidDev->Attributes().ProductID);
    }
    const QString serial = HidDev->SerialNumber();
    if (!serial.isEmpty()) {
        name += QStringLiteral(" (Serial=%1)").arg(serial);
    }
    return name;
}

bool UsbCableLink::HidCtlEnumerate(TJvHidDevice* HidDev, int Idx) {
    DevItem item{DeviceName(HidDev), nullptr};
    if (HidCtl_) {
        HidCtl_->CheckOutByIndex(item.device, Idx);
    }
    devListBox_.push_back(std::move(item));
    return true;
}

void UsbCableLink::HidCtlArrival(TJvHidDevice* HidDev) {
    appendHistory(QStringLiteral("Arrival of ") + DeviceName(HidDev));
}

void UsbCableLink::HidCtlRemoval(TJvHidDevice* HidDev) {
    appendHistory(QStringLiteral("Removal of ") + DeviceName(HidDev));
}

void UsbCableLink::HidCtlDeviceChange(TJvHidDeviceController*) {
    ReadBtnClick();
    // Every device goes back to the controller: one still plugged in comes
    // back checked in, one that is gone leaves its list.
    const std::vector<DevItem> items = std::move(devListBox_);
    devListBox_.clear();
    itemIndex_ = -1;
    currentDevice_ = nullptr;
    for (const DevItem& item : items) {
        delete item.device;
    }
    devListBox_.clear();
    itemIndex_ = -1;
    if (HidCtl_) {
        HidCtl_->Enumerate();
    }
    for (std::size_t i = 0; i < devListBox_.size(); ++i) {
        if (devListBox_[i].text == QLatin1String(kCableName)) {
            itemIndex_ = static_cast<int>(i);
        }
    }
    emit deviceListRebuilt();
}

void UsbCableLink::HidCtlDeviceDataError(TJvHidDevice*, std::uint32_t Error) {
    appendHistory(QStringLiteral("READ ERROR: %1 (%2)").arg(systemMessage(Error), hexCode(Error)));
}

void UsbCableLink::ReadBtnClick() {
    currentDevice_ = selectedDevice();
    if (currentDevice_ && currentDevice_->HasReadWriteAccess()) {
        currentDevice_->setOnData(nullptr);
    }
}

void UsbCableLink::SetFeatureClick() {
    currentDevice_ = nullptr;
    TJvHidDevice* dev = selectedDevice();
    if (!dev) {
        boxes_.information(kNoCable, kInformation);
        setUsbCon(false);
        return;
    }
    currentDevice_ = dev;
    const auto report = featureReport(variant_);
    dev->SetFeature(report.data(), report.size());
    QString line;
    for (std::size_t i = 1; i < report.size(); ++i) {
        line += QString::asprintf("%.2X ", report[i]);
    }
    appendHistory(line);
}

std::array<std::uint8_t, 10> UsbCableLink::featureReport(MeterVariant variant) {
    const auto baud = static_cast<std::uint32_t>(variantInfo(variant).usbBaud);
    std::array<std::uint8_t, 10> report{};
    for (int i = 0; i < 4; ++i) {
        report[1 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(baud >> (8 * i));
    }
    report[5] = 0x03;
    return report;
}

void UsbCableLink::USBConClick(bool down) {
    setUsbCon(down);
    ReadBtnClick();
    SetFeatureClick();
    counters_.EmptyReportCount = 0;
    currentDevice_ = selectedDevice();
    if (!currentDevice_) {
        return;
    }
    if (!currentDevice_->HasReadWriteAccess()) {
        setUsbCon(false);
        if (down) {
            reportNoAccess(currentDevice_);
        }
        return;
    }
    if (usbConDown_) {
        setSerialControlsHidden(true);
        attachHandler(currentDevice_);
    } else {
        setSerialControlsHidden(false);
        currentDevice_->setOnData(nullptr);
    }
}

void UsbCableLink::releaseByWatchdog() {
    setUsbCon(false);
    if (currentDevice_) {
        currentDevice_->setOnData(nullptr);
    }
}

void UsbCableLink::attachHandler(TJvHidDevice* dev) {
    switch (variantInfo(variant_).usbHandler) {
    case UsbReportHandler::HalvinShowRead:
        dev->setOnData(TJvHidDataEvent::method<&UsbCableLink::HALVINShowRead>(this));
        break;
    case UsbReportHandler::ShowRead:
        dev->setOnData(TJvHidDataEvent::method<&UsbCableLink::ShowRead>(this));
        break;
    case UsbReportHandler::FenwikShowRead:
        dev->setOnData(TJvHidDataEvent::method<&UsbCableLink::FENWIKShowRead>(this));
        break;
    case UsbReportHandler::None: break;
    }
}

void UsbCableLink::reportNoAccess(TJvHidDevice* dev) {
    // Without read/write access the cable could never deliver: say why and
    // how Linux grants it, instead of only letting the button spring back.
    const int code = dev->ReadWriteError();
    appendHistory(QStringLiteral("OPEN ERROR: %1: %2 (%3)")
                      .arg(dev->PnPInfo().DevicePath,
                           code != 0 ? systemMessage(static_cast<std::uint32_t>(code))
                                     : QStringLiteral("no read/write access"),
                           hexCode(static_cast<std::uint32_t>(code))));
    // The box speaks the window's language.
    const QString reason =
        code != 0 ? systemErrorText(code) : QStringLiteral("読み書きの権限がありません");
    boxes_.information(
        QStringLiteral("USBケーブル（%1）を読み書きできません：%2。\n"
                       "udev ルール 70-velkor-usb-serial.rules をインストールし、"
                       "ケーブルを挿し直してください（README の「USB cable access」を参照）。")
            .arg(dev->PnPInfo().DevicePath, reason),
        kInformation);
}

void UsbCableLink::HALVINShowRead(TJvHidDevice*, std::uint8_t ReportID, const std::uint8_t* Data,
                                  std::uint16_t Size) {
    showRead(UsbFrameAssembler::FrameEnd::Decode, ReportID, Data, Size);
}

void UsbCableLink::ShowRead(TJvHidDevice*, std::uint8_t ReportID, const std::uint8_t* Data,
                            std::uint16_t Size) {
    showRead(UsbFrameAssembler::FrameEnd::LowDigits, ReportID, Data, Size);
}

void UsbCableLink::FENWIKShowRead(TJvHidDevice*, std::uint8_t ReportID, const std::uint8_t* Data,
                                  std::uint16_t Size) {
    showRead(UsbFrameAssembler::FrameEnd::LowDigitsRotated, ReportID, Data, Size);
}

void UsbCableLink::showRead(UsbFrameAssembler::FrameEnd frameEnd, std::uint8_t ReportID,
                            const std::uint8_t* Data, std::uint16_t Size) {
    if (assembler_.take(frameEnd, Data, Size)) {
        appendHistory(UsbFrameAssembler::reportLine(ReportID, Data, Size));
    }
}

void UsbCableLink::decodeFrame() {
    // A frame that fails to decode costs that frame only: the link goes on
    // with the next one instead of ending its reader in silence.
    const FrameStep step = [this] {
        try {
            frames_.decodeFrame();
        } catch (const std::exception& e) {
            appendHistory(QStringLiteral("DECODE ERROR: %1").arg(QString::fromLocal8Bit(e.what())));
            throw;
        }
    };
    try {
        if (FrameRunner) {
            FrameRunner(step);
        } else {
            step();
        }
    } catch (const std::exception&) {
        // Written down above; nothing else to do without a window.
    }
}

} // namespace velkor
