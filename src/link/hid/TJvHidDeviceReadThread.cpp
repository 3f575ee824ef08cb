#include "link/hid/TJvHidDeviceReadThread.h"

#include "link/hid/TJvHidDevice.h"
#include "platform/HidPlatform.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace velkor {

namespace {

std::atomic<int> gRunningThreads{0};
std::vector<std::unique_ptr<TJvHidDeviceReadThread>>& setAsideReaders() {
    static std::vector<std::unique_ptr<TJvHidDeviceReadThread>> readers;
    return readers;
}

QEvent::Type handOverEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

// The state the thread and the user-interface thread share. Every field below
// the mutex is guarded by it, except Report, NumBytesRead and FErr: the thread
// writes them, and the user-interface thread reads them only during a
// hand-over, which the mutex orders before and after.
struct TJvHidDeviceReadThread::Core {
    enum class HandOver { None, Posted, Serving, Done };
    enum class Kind { Data, Error };

    HidPlatform& platform;
    const QString devicePath;
    QObject* relay = nullptr; // lives on the user-interface thread; outlives the thread

    // Touched only on the user-interface thread.
    TJvHidDevice* device;

    // Owned by the thread.
    std::vector<std::uint8_t> Report;
    std::uint32_t NumBytesRead = 0;
    std::uint32_t FErr = 0;

    mutable std::mutex m;
    std::condition_variable cv;
    bool stopRequested = false;
    bool ended = false;
    HandOver handOver = HandOver::None;
    Kind kind = Kind::Data;
    bool handlerFailed = false;
    int sleepMs;
    HidReadHandle* readHandle = nullptr; // while the thread has one open
    // The event the next hand-over posts. The user-interface thread makes it
    // in advance, so that the thread only passes a pointer to Qt and writes
    // nothing that crosses to the other thread outside this mutex.
    QEvent* spareEvent = nullptr;
    std::thread thread;

    Core(TJvHidDevice* dev, HidPlatform& p, QString path, std::uint32_t length, int sleep)
        : platform(p), devicePath(std::move(path)), device(dev), Report(length), sleepMs(sleep),
          spareEvent(new QEvent(handOverEventType())) {}
    ~Core() { delete spareEvent; }

    bool askedToEnd() {
        std::lock_guard l(m);
        return stopRequested;
    }

    int waitStep() {
        std::lock_guard l(m);
        return std::max(sleepMs, 1);
    }

    // Thread: passes the report or error to the user-interface thread and
    // waits until its handler has returned. False when the handler failed.
    bool handOverAndWait(Kind k) {
        std::unique_lock l(m);
        kind = k;
        handOver = HandOver::Posted;
        QEvent* event = std::exchange(spareEvent, nullptr);
        cv.notify_all(); // a stop waiting on the user-interface thread serves it
        l.unlock();
        if (event) {
            QCoreApplication::postEvent(relay, event);
        }
        l.lock();
        cv.wait(l, [this] { return handOver == HandOver::Done; });
        handOver = HandOver::None;
        return !handlerFailed;
    }

    // User-interface thread: runs the handler of a posted hand-over, unless
    // a stop already served it.
    void serve() {
        Kind k;
        {
            std::lock_guard l(m);
            if (handOver != HandOver::Posted) {
                return;
            }
            handOver = HandOver::Serving;
            k = kind;
        }
        bool failed = false;
        try {
            if (TJvHidDevice* dev = device) {
                if (k == Kind::Data) {
                    if (const TJvHidDataEvent h = dev->OnData()) {
                        h(dev, Report[0], Report.data() + 1,
                          static_cast<std::uint16_t>(NumBytesRead - 1));
                    }
                } else if (const TJvHidDataErrorEvent h = dev->OnDataError()) {
                    h(dev, FErr);
                }
            }
        } catch (const std::exception& e) {
            qWarning("HID reader of %s ends: %s", qPrintable(devicePath), e.what());
            failed = true;
        } catch (...) {
            qWarning("HID reader of %s ends after a failure in its handler",
                     qPrintable(devicePath));
            failed = true;
        }
        QEvent* next = new QEvent(handOverEventType());
        std::lock_guard l(m);
        if (!spareEvent) {
            spareEvent = std::exchange(next, nullptr);
        }
        handlerFailed = failed;
        handOver = HandOver::Done;
        cv.notify_all();
        delete next;
    }

    // Thread: waits one step or until asked to end. After a read that could
    // not be made, so that a device that fails for good costs one error
    // per step instead of a busy loop through the user-interface thread.
    void pause() {
        std::unique_lock l(m);
        cv.wait_for(l, std::chrono::milliseconds(std::max(sleepMs, 1)),
                    [this] { return stopRequested; });
    }

    // The thread's body (Execute).
    void execute() {
        std::unique_ptr<HidReadHandle> handle;
        for (;;) {
            if (askedToEnd()) {
                break;
            }
            std::fill(Report.begin(), Report.end(), std::uint8_t{0});
            HidReadHandle::Result r;
            if (!handle) {
                int err = 0;
                auto opened = platform.openRead(devicePath, &err);
                std::lock_guard l(m);
                if (stopRequested) {
                    break;
                }
                handle = std::move(opened);
                readHandle = handle.get();
                if (!handle) {
                    r.kind = HidReadHandle::Result::Failed;
                    r.error = static_cast<std::uint32_t>(err != 0 ? err : ENODEV);
                }
            }
            if (handle) {
                if (Report.empty()) {
                    r.kind = HidReadHandle::Result::Failed;
                    r.error = EINVAL;
                } else {
                    // Wait in steps until the read completes or the reader is asked to end.
                    do {
                        r = handle->read(Report.data(), Report.size(), waitStep());
                        if (askedToEnd()) {
                            break;
                        }
                    } while (r.kind == HidReadHandle::Result::Idle);
                    if (askedToEnd()) {
                        break;
                    }
                }
            }
            if (r.kind == HidReadHandle::Result::Failed) {
                FErr = r.error;
                if (!handOverAndWait(Kind::Error)) {
                    break;
                }
                pause();
                continue;
            }
            NumBytesRead =
                std::min<std::uint32_t>(r.bytes, static_cast<std::uint32_t>(Report.size()));
            if (NumBytesRead > 0 && !handOverAndWait(Kind::Data)) {
                break;
            }
        }
        {
            std::lock_guard l(m);
            readHandle = nullptr;
        }
        handle.reset();
        std::lock_guard l(m);
        ended = true;
        gRunningThreads.fetch_sub(1);
        cv.notify_all();
    }
};

namespace {

// Runs the hand-overs of one reader on the user-interface thread, as the
// reader's posted events arrive.
class HandOverRelay final : public QObject {
public:
    explicit HandOverRelay(TJvHidDeviceReadThread::Core* core) : core_(core) {}

protected:
    void customEvent(QEvent* event) override;

private:
    TJvHidDeviceReadThread::Core* core_;
};

void HandOverRelay::customEvent(QEvent* event) {
    if (event->type() == handOverEventType()) {
        core_->serve();
    }
}

} // namespace

TJvHidDeviceReadThread::TJvHidDeviceReadThread(TJvHidDevice* Device, HidPlatform& platform,
                                               const QString& devicePath,
                                               std::uint32_t inputReportByteLength,
                                               int threadSleepTime)
    : core_(std::make_shared<Core>(Device, platform, devicePath, inputReportByteLength,
                                   threadSleepTime)),
      relay_(std::make_unique<HandOverRelay>(core_.get())) {
    core_->relay = relay_.get();
    gRunningThreads.fetch_add(1);
    core_->thread = std::thread([core = core_] { core->execute(); });
}

TJvHidDeviceReadThread::~TJvHidDeviceReadThread() {
    if (!stop()) {
        // Destroyed from within its own hand-over: the handler returns before
        // the thread can end, and nothing of this object may outlive it.
        core_->thread.detach();
    }
    // Deleting the relay drops hand-overs still queued for it.
    relay_.reset();
}

bool TJvHidDeviceReadThread::stop() {
    Core& c = *core_;
    std::unique_lock l(c.m);
    c.stopRequested = true;
    if (c.readHandle) {
        c.readHandle->wake();
    }
    c.cv.notify_all();
    for (;;) {
        if (c.ended) {
            break;
        }
        if (c.handOver == Core::HandOver::Posted) {
            l.unlock();
            c.serve();
            l.lock();
            continue;
        }
        if (c.handOver == Core::HandOver::Serving) {
            // Only this thread serves hand-overs, so this stop runs inside
            // the reader's own handler.
            return false;
        }
        c.cv.wait(l);
    }
    l.unlock();
    if (c.thread.joinable()) {
        c.thread.join();
    }
    c.device = nullptr;
    return true;
}

bool TJvHidDeviceReadThread::finished() const {
    std::lock_guard l(core_->m);
    return core_->ended;
}

void TJvHidDeviceReadThread::setThreadSleepTime(int milliseconds) {
    std::lock_guard l(core_->m);
    core_->sleepMs = milliseconds;
}

void TJvHidDeviceReadThread::setAside(std::unique_ptr<TJvHidDeviceReadThread> reader) {
    reader->core_->device = nullptr;
    setAsideReaders().push_back(std::move(reader));
}

void TJvHidDeviceReadThread::reapFinished() {
    auto& readers = setAsideReaders();
    std::erase_if(readers, [](const auto& r) { return r->finished(); });
}

void TJvHidDeviceReadThread::stopAll() {
    auto readers = std::move(setAsideReaders());
    setAsideReaders().clear();
    readers.clear(); // each destructor stops its thread
}

int TJvHidDeviceReadThread::runningThreads() {
    return gRunningThreads.load();
}

} // namespace velkor
