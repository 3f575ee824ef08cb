#pragma once

#include "platform/HidPlatform.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velkor::test {

// One HID interface of the substitute system.
struct FakeHidDevice {
    std::uint32_t DeviceID = 1;
    QString path = QStringLiteral("/dev/hidraw0");
    std::uint16_t vendor = 0x1A86;
    std::uint16_t product = 0xE008;
    std::uint16_t version = 0x0100;
    std::optional<std::u16string> productString = u"USB to Serial";
    std::optional<std::u16string> serialString;                  // none: the request fails
    std::optional<std::vector<char16_t>> languages = {{0x0409}}; // none: the request fails
    bool languageListSupported = true;
    bool readWrite = true;    // may be opened for reading and writing
    bool openable = true;     // may be opened at all
    bool identifiable = true; // its attributes can be read
    std::uint32_t inputReportLength = 9;
};

// A HID system for tests: devices are plugged and unplugged at will, access
// denied, input reports and read errors scripted, feature reports recorded.
// The test side runs on the test (user-interface) thread; the read side may
// run on any thread.
class FakeHidPlatform final : public HidPlatform {
public:
    FakeHidPlatform();
    ~FakeHidPlatform() override;

    // --- the test side ---
    void plug(const FakeHidDevice& device);
    void unplug(const QString& path);
    // Changes what a plugged device allows.
    void update(const QString& path, const std::function<void(FakeHidDevice&)>& change);
    // Tells the watchers that devices came or went (on this thread).
    void notifyChange();
    // Scripts one input report as the system reads it: report ID first.
    void pushReport(const QString& path, std::vector<std::uint8_t> report);
    void pushReadError(const QString& path, std::uint32_t error);
    // Without a script, every read gets report(n) for n = 0, 1, 2 ...
    void setEndlessReports(const QString& path,
                           std::function<std::vector<std::uint8_t>(std::uint64_t)> report);
    std::vector<std::vector<std::uint8_t>> featureReports(const QString& path) const;
    // Reports and errors handed to readers so far.
    std::uint64_t readsDelivered(const QString& path) const;
    int readOpens(const QString& path) const;
    int openHandles() const { return openHandles_.load(); }
    bool scriptEmpty(const QString& path) const;
    bool available = true; // what present() answers
    int watchers() const;

    // --- HidPlatform ---
    bool present() const override { return available; }
    std::vector<HidInterfaceInfo> listInterfaces() override;
    std::unique_ptr<HidHandle> open(const QString& devicePath, HidOpenMode mode,
                                    int* error) override;
    std::unique_ptr<HidReadHandle> openRead(const QString& devicePath, int* error) override;
    std::unique_ptr<HidDeviceWatch> watch(std::function<void()> onChange) override;

    struct Node;
    struct Watch;

private:
    friend struct Watch;
    Node* find(const QString& path) const;

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::unique_ptr<Node>> nodes_; // plugged and unplugged, plug order
    std::map<int, std::function<void()>> watchers_;
    int nextWatch_ = 0;
    std::atomic<int> openHandles_{0};
};

} // namespace velkor::test
