#pragma once

#include <QString>
#include <cstdint>
#include <memory>

class QObject;

namespace velkor {

class HidPlatform;
class TJvHidDevice;

// The reader of one device: a thread of its own reads input reports and
// hands each one to the user-interface thread, where the device's OnData
// runs, and waits there until the handler has returned. A read that cannot
// be made goes to OnDataError the same way.
//
// Made and stopped on the user-interface thread (by the device). Stopping
// waits for the thread to end and serves a hand-over that is in flight
// meanwhile, so it never locks against the reader; the report handed over at
// that moment still reaches the handler being replaced. A stop requested by
// the reader's own handler cannot wait for the thread (the thread waits for
// that handler): the reader is then set aside and ends when the handler
// returns; reapFinished() and stopAll() collect such readers.
class TJvHidDeviceReadThread {
public:
    TJvHidDeviceReadThread(TJvHidDevice* Device, HidPlatform& platform, const QString& devicePath,
                           std::uint32_t inputReportByteLength, int threadSleepTime);
    // Stops the thread (see stop()).
    ~TJvHidDeviceReadThread();

    TJvHidDeviceReadThread(const TJvHidDeviceReadThread&) = delete;
    TJvHidDeviceReadThread& operator=(const TJvHidDeviceReadThread&) = delete;

    // Asks the thread to end and waits until it has. Returns false when called
    // from within this reader's own hand-over: the thread is then only asked
    // to end and this object must be given to setAside().
    bool stop();
    // Whether the thread has ended (asked to, or by a failure in a handler).
    bool finished() const;
    // The wait step: how long the thread waits before it looks again whether
    // it is asked to end.
    void setThreadSleepTime(int milliseconds);

    // Keeps a reader that could not be waited for until its thread ends.
    static void setAside(std::unique_ptr<TJvHidDeviceReadThread> reader);
    // Releases the readers set aside whose threads have ended.
    static void reapFinished();
    // Ends every reader set aside; for the end of the program.
    static void stopAll();
    // How many threads of all readers are running now.
    static int runningThreads();

    struct Core;

private:
    std::shared_ptr<Core> core_;
    std::unique_ptr<QObject> relay_; // carries hand-overs; lives on the user-interface thread
};

} // namespace velkor
