#include "support/FakeHidPlatform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace velkor::test {

struct FakeHidPlatform::Node {
    FakeHidDevice device;
    bool plugged = true;
    struct Item {
        std::vector<std::uint8_t> report;
        std::uint32_t error = 0;
    };
    std::deque<Item> script;
    std::function<std::vector<std::uint8_t>(std::uint64_t)> endless;
    std::uint64_t delivered = 0;
    int readOpens = 0;
    std::vector<std::vector<std::uint8_t>> features;
};

struct FakeHidPlatform::Watch final : HidDeviceWatch {
    FakeHidPlatform& platform;
    int id;
    Watch(FakeHidPlatform& p, int i) : platform(p), id(i) {}
    ~Watch() override {
        std::lock_guard l(platform.m_);
        platform.watchers_.erase(id);
    }
};

namespace {

bool copyString(const std::optional<std::u16string>& s, HidStringBuffer buffer) {
    if (!s) {
        return false;
    }
    const std::size_t n = std::min(s->size(), buffer.size());
    std::copy_n(s->begin(), n, buffer.begin());
    if (n < buffer.size()) {
        buffer[n] = 0;
    }
    return true;
}

class FakeHandle final : public HidHandle {
public:
    FakeHandle(FakeHidPlatform::Node& node, std::mutex& m, std::atomic<int>& open)
        : node_(node), m_(m), open_(open) {
        ++open_;
    }
    ~FakeHandle() override { --open_; }

    bool getAttributes(HidAttributes& a) override {
        std::lock_guard l(m_);
        if (!node_.plugged || !node_.device.identifiable) {
            return false;
        }
        a.VendorID = node_.device.vendor;
        a.ProductID = node_.device.product;
        a.VersionNumber = node_.device.version;
        return true;
    }
    bool getProductString(HidStringBuffer buffer) override {
        std::lock_guard l(m_);
        return node_.plugged && copyString(node_.device.productString, buffer);
    }
    bool getSerialNumberString(HidStringBuffer buffer) override {
        std::lock_guard l(m_);
        return node_.plugged && copyString(node_.device.serialString, buffer);
    }
    bool getIndexedString(int index, HidStringBuffer buffer) override {
        std::lock_guard l(m_);
        if (!node_.plugged || index != 0 || !node_.device.languages) {
            return false;
        }
        const auto& words = *node_.device.languages;
        return copyString(std::u16string(words.begin(), words.end()), buffer);
    }
    bool providesLanguageList() const override {
        std::lock_guard l(m_);
        return node_.device.languageListSupported;
    }
    std::uint32_t inputReportByteLength() override {
        std::lock_guard l(m_);
        return node_.plugged ? node_.device.inputReportLength : 0;
    }
    bool setNumInputBuffers(std::uint32_t) override { return false; }
    bool getNumInputBuffers(std::uint32_t& count) override {
        count = 64;
        return true;
    }
    bool setFeature(const std::uint8_t* report, std::size_t size) override {
        std::lock_guard l(m_);
        if (!node_.plugged) {
            return false;
        }
        node_.features.emplace_back(report, report + size);
        return true;
    }

private:
    FakeHidPlatform::Node& node_;
    std::mutex& m_;
    std::atomic<int>& open_;
};

class FakeReadHandle final : public HidReadHandle {
public:
    FakeReadHandle(FakeHidPlatform::Node& node, std::mutex& m, std::condition_variable& cv,
                   std::atomic<int>& open)
        : node_(node), m_(m), cv_(cv), open_(open) {
        ++open_;
    }
    ~FakeReadHandle() override { --open_; }

    Result read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override {
        std::unique_lock l(m_);
        cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [this] {
            return woken_ || !node_.plugged || !node_.script.empty() || node_.endless;
        });
        Result r;
        if (woken_) {
            woken_ = false;
            return r;
        }
        if (!node_.plugged) {
            r.kind = Result::Failed;
            r.error = ENODEV;
            return r;
        }
        std::vector<std::uint8_t> report;
        if (!node_.script.empty()) {
            auto item = std::move(node_.script.front());
            node_.script.pop_front();
            ++node_.delivered;
            if (item.error != 0) {
                r.kind = Result::Failed;
                r.error = item.error;
                return r;
            }
            report = std::move(item.report);
        } else if (node_.endless) {
            report = node_.endless(node_.delivered++);
        } else {
            return r;
        }
        const std::size_t n = std::min(size, report.size());
        std::copy_n(report.begin(), n, buffer);
        r.kind = Result::Report;
        r.bytes = static_cast<std::uint32_t>(n);
        return r;
    }

    void wake() override {
        std::lock_guard l(m_);
        woken_ = true;
        cv_.notify_all();
    }

private:
    FakeHidPlatform::Node& node_;
    std::mutex& m_;
    std::condition_variable& cv_;
    std::atomic<int>& open_;
    bool woken_ = false; // guarded by m_
};

} // namespace

FakeHidPlatform::FakeHidPlatform() = default;
FakeHidPlatform::~FakeHidPlatform() = default;

FakeHidPlatform::Node* FakeHidPlatform::find(const QString& path) const {
    Node* found = nullptr;
    for (const auto& n : nodes_) {
        if (n->device.path == path && (!found || n->plugged)) {
            found = n.get();
        }
    }
    return found;
}

void FakeHidPlatform::plug(const FakeHidDevice& device) {
    std::lock_guard l(m_);
    auto node = std::make_unique<Node>();
    node->device = device;
    nodes_.push_back(std::move(node));
}

void FakeHidPlatform::unplug(const QString& path) {
    std::lock_guard l(m_);
    for (auto& n : nodes_) {
        if (n->device.path == path) {
            n->plugged = false;
        }
    }
    cv_.notify_all();
}

void FakeHidPlatform::update(const QString& path,
                             const std::function<void(FakeHidDevice&)>& change) {
    std::lock_guard l(m_);
    if (Node* n = find(path)) {
        change(n->device);
    }
}

void FakeHidPlatform::notifyChange() {
    std::vector<std::function<void()>> callbacks;
    {
        std::lock_guard l(m_);
        for (const auto& [id, f] : watchers_) {
            callbacks.push_back(f);
        }
    }
    for (const auto& f : callbacks) {
        f();
    }
}

void FakeHidPlatform::pushReport(const QString& path, std::vector<std::uint8_t> report) {
    std::lock_guard l(m_);
    if (Node* n = find(path)) {
        n->script.push_back({std::move(report), 0});
    }
    cv_.notify_all();
}

void FakeHidPlatform::pushReadError(const QString& path, std::uint32_t error) {
    std::lock_guard l(m_);
    if (Node* n = find(path)) {
        n->script.push_back({{}, error});
    }
    cv_.notify_all();
}

void FakeHidPlatform::setEndlessReports(
    const QString& path, std::function<std::vector<std::uint8_t>(std::uint64_t)> report) {
    std::lock_guard l(m_);
    if (Node* n = find(path)) {
        n->endless = std::move(report);
    }
    cv_.notify_all();
}

std::vector<std::vector<std::uint8_t>> FakeHidPlatform::featureReports(const QString& path) const {
    std::lock_guard l(m_);
    std::vector<std::vector<std::uint8_t>> all;
    for (const auto& n : nodes_) {
        if (n->device.path == path) {
            all.insert(all.end(), n->features.begin(), n->features.end());
        }
    }
    return all;
}

std::uint64_t FakeHidPlatform::readsDelivered(const QString& path) const {
    std::lock_guard l(m_);
    const Node* n = find(path);
    return n ? n->delivered : 0;
}

int FakeHidPlatform::readOpens(const QString& path) const {
    std::lock_guard l(m_);
    const Node* n = find(path);
    return n ? n->readOpens : 0;
}

bool FakeHidPlatform::scriptEmpty(const QString& path) const {
    std::lock_guard l(m_);
    const Node* n = find(path);
    return !n || n->script.empty();
}

int FakeHidPlatform::watchers() const {
    std::lock_guard l(m_);
    return static_cast<int>(watchers_.size());
}

std::vector<HidInterfaceInfo> FakeHidPlatform::listInterfaces() {
    std::lock_guard l(m_);
    std::vector<HidInterfaceInfo> list;
    for (const auto& n : nodes_) {
        if (n->plugged) {
            list.push_back({n->device.DeviceID, n->device.path});
        }
    }
    return list;
}

std::unique_ptr<HidHandle> FakeHidPlatform::open(const QString& devicePath, HidOpenMode mode,
                                                 int* error) {
    std::lock_guard l(m_);
    Node* n = find(devicePath);
    if (!n || !n->plugged || !n->device.openable) {
        *error = ENOENT;
        return nullptr;
    }
    if (mode == HidOpenMode::ReadWrite && !n->device.readWrite) {
        *error = EACCES;
        return nullptr;
    }
    return std::make_unique<FakeHandle>(*n, m_, openHandles_);
}

std::unique_ptr<HidReadHandle> FakeHidPlatform::openRead(const QString& devicePath, int* error) {
    std::lock_guard l(m_);
    Node* n = find(devicePath);
    if (!n || !n->plugged || !n->device.openable || !n->device.readWrite) {
        *error = n && n->plugged && n->device.openable ? EACCES : ENOENT;
        return nullptr;
    }
    ++n->readOpens;
    return std::make_unique<FakeReadHandle>(*n, m_, cv_, openHandles_);
}

std::unique_ptr<HidDeviceWatch> FakeHidPlatform::watch(std::function<void()> onChange) {
    std::lock_guard l(m_);
    const int id = nextWatch_++;
    watchers_[id] = std::move(onChange);
    return std::make_unique<Watch>(*this, id);
}

} // namespace velkor::test
