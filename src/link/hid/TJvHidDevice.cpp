#include "link/hid/TJvHidDevice.h"

#include "link/hid/TJvHidDeviceController.h"
#include "link/hid/TJvHidDeviceReadThread.h"

#include <algorithm>
#include <array>

namespace velkor {

namespace {

using StringWords = std::array<char16_t, kHidStringChars>;

// The text up to the first zero character.
QString untilZero(const StringWords& words) {
    const auto end = std::find(words.begin(), words.end(), char16_t{0});
    return QString::fromUtf16(words.data(), end - words.begin());
}

// Length of the language list in a buffer that was filled with 0xFFFF
// before it was asked for: from the last word down, the first word that is
// not 0xFFFF ends the list; a zero there is its terminator.
std::size_t languageListLength(const StringWords& words) {
    for (std::size_t k = words.size(); k-- > 0;) {
        if (words[k] != 0xFFFF) {
            return words[k] == 0 ? k : k + 1;
        }
    }
    return 0;
}

} // namespace

TJvHidDevice::TJvHidDevice(const TJvHidPnPInfo& pnp, TJvHidDeviceController* controller,
                           HidPlatform& platform)
    : FPlatform(platform), FMyController(controller), FPnPInfo(pnp) {
    if (controller) {
        FData = controller->OnDeviceData();
        FDataError = controller->OnDeviceDataError();
        FUnplug = controller->OnDeviceUnplug();
    }
    if (!openShared()) {
        throw HidError("Device cannot be opened");
    }
    FAttributes.Size = 12;
    if (!HidFileHandle->getAttributes(FAttributes)) {
        throw HidError("Device cannot be identified");
    }
    FAttributes.Size = 12;
    closeFile();
}

TJvHidDevice::~TJvHidDevice() {
    const TJvHidDataEvent data = FData;
    const TJvHidPlugEvent unplugHandler = FUnplug;
    while (FReader) {
        stopThread();
    }
    FData = nullptr;
    FUnplug = nullptr;
    closeFile();
    *FAlive = false;
    if (FMyController) {
        FMyController->deviceDestroyed(this, data, unplugHandler);
    }
}

bool TJvHidDevice::openShared() {
    int err = 0;
    HidFileHandle = FPlatform.open(FPnPInfo.DevicePath, HidOpenMode::ReadWrite, &err);
    FHasReadWriteAccess = HidFileHandle != nullptr;
    FReadWriteError = FHasReadWriteAccess ? 0 : err;
    if (!HidFileHandle) {
        HidFileHandle = FPlatform.open(FPnPInfo.DevicePath, HidOpenMode::NoAccess, &err);
    }
    return HidFileHandle != nullptr;
}

bool TJvHidDevice::openFile() {
    if (HidFileHandle) {
        return true;
    }
    if (!accessible()) {
        return false;
    }
    if (!openShared()) {
        return false;
    }
    if (FNumInputBuffers != 0) {
        HidFileHandle->setNumInputBuffers(FNumInputBuffers);
    }
    std::uint32_t count = 0;
    if (HidFileHandle->getNumInputBuffers(count)) {
        FNumInputBuffers = count;
    }
    return true;
}

void TJvHidDevice::closeFile() {
    HidFileHandle.reset();
}

QString TJvHidDevice::ProductName() {
    if (FProductName.isEmpty() && openFile()) {
        StringWords words{};
        if (HidFileHandle->getProductString(words)) {
            FProductName = untilZero(words);
        }
        closeFile();
    }
    return FProductName;
}

QString TJvHidDevice::SerialNumber() {
    if (FSerialNumber.isEmpty() && openFile()) {
        StringWords serial{};
        if (HidFileHandle->getSerialNumberString(serial)) {
            // Some devices answer the serial number request with their
            // language list: such an answer counts as no serial number.
            bool accept = true;
            if (HidFileHandle->providesLanguageList()) {
                StringWords languages;
                languages.fill(0xFFFF);
                HidFileHandle->getIndexedString(0, languages);
                const std::size_t length = languageListLength(languages);
                accept = false;
                for (std::size_t i = 0; i < length; ++i) {
                    if (serial[i] != languages[i]) {
                        accept = true;
                        break;
                    }
                }
            }
            if (accept) {
                FSerialNumber = untilZero(serial);
            }
        }
        closeFile();
    }
    return FSerialNumber;
}

std::uint32_t TJvHidDevice::InputReportByteLength() {
    if (!FInputReportByteLength && openFile()) {
        const std::uint32_t length = HidFileHandle->inputReportByteLength();
        if (length > 0) {
            FInputReportByteLength = length;
        }
    }
    return FInputReportByteLength.value_or(0);
}

bool TJvHidDevice::SetFeature(const std::uint8_t* Report, std::uint32_t Size) {
    return openFile() && HidFileHandle->setFeature(Report, Size);
}

void TJvHidDevice::setOnData(TJvHidDataEvent handler) {
    if (!handler) {
        // A handler served while stopping may have started a reader anew.
        while (FReader) {
            if (!stopThread()) {
                return;
            }
        }
    }
    FData = std::move(handler);
    startThread();
}

void TJvHidDevice::setThreadSleepTime(int milliseconds) {
    FThreadSleepTime = milliseconds;
    if (FReader) {
        FReader->setThreadSleepTime(milliseconds);
    }
}

void TJvHidDevice::unplug() {
    closeFile();
    FIsPluggedIn = false;
    const TJvHidPlugEvent handler = std::move(FUnplug);
    FUnplug = nullptr;
    if (handler) {
        handler(this);
    }
}

void TJvHidDevice::startThread() {
    if (!FData || !FIsPluggedIn || !FIsCheckedOut || !FHasReadWriteAccess || FReader) {
        return;
    }
    const std::uint32_t length = InputReportByteLength();
    FReader = std::make_unique<TJvHidDeviceReadThread>(this, FPlatform, FPnPInfo.DevicePath, length,
                                                       FThreadSleepTime);
}

bool TJvHidDevice::stopThread() {
    if (!FReader) {
        return true;
    }
    const std::shared_ptr<bool> alive = FAlive;
    std::unique_ptr<TJvHidDeviceReadThread> reader = std::move(FReader);
    if (!reader->stop()) {
        TJvHidDeviceReadThread::setAside(std::move(reader));
    }
    reader.reset();
    TJvHidDeviceReadThread::reapFinished();
    return *alive;
}

} // namespace velkor
