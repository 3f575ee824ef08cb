#pragma once

#include "meter/MeterVariant.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace velkor {
class Clock;
class MeterPipeline;
class HidPlatform;
class SerialPortNames;
class SerialSystem;
class TCommPortDriver;
class TJvHidDevice;
class TJvHidDeviceController;
class UsbFrameAssembler;
} // namespace velkor

namespace velkor::cli {

// Where velkor-cli log takes its bytes or frames from, on the event loop.
// A source tells how it ends: a stream by ending, a device by being lost;
// a lost device can be awaited until it comes back.
class LogSource {
public:
    virtual ~LogSource() = default;

    // Opens the input. False with a message for the user when it cannot.
    virtual bool start(QString* error) = 0;
    // After a loss: looks for the device until it is back, then tells back().
    virtual void awaitReturn() = 0;
    // The input as the user named it, and the device it reached, for messages.
    virtual QString name() const = 0;
    virtual QString devicePath() const { return name(); }

    // A stream ended: kExitOk at its end, kExitInput when it could not be read
    // (the reason is in the message).
    std::function<void(int status, const QString& message)> ended;
    // The device has gone (the source has let go of it).
    std::function<void(const QString& reason)> lost;
    // The awaited device is open again.
    std::function<void()> back;
};

// Bytes of the serial stream, as the port delivers them.
using ByteFeed = std::function<void(const std::uint8_t*, std::size_t)>;

// Why the port driver could not open a device, with what the user can do
// about the common reasons.
QString serialOpenFailure(const TCommPortDriver& port, const QString& device);

// FILE or - (standard input), read as its bytes come: a regular file in
// chunks between the other events, anything else (a pipe, a terminal) when
// it has bytes.
class StreamSource final : public LogSource {
public:
    StreamSource(QString path, ByteFeed feed);
    ~StreamSource() override;

    bool start(QString* error) override;
    void awaitReturn() override {}
    QString name() const override { return path_; }

private:
    void readChunk();

    QString path_;
    ByteFeed feed_;
    int fd_ = -1;
    bool ownsFd_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer pump_;
};

// A meter on a serial line through the window's port driver and line
// settings: the variant's speed, 8 data bits, no parity, one stop bit,
// polled every 100 ms. While the device is away, its path is tried again
// every half second.
class SerialSource final : public LogSource {
public:
    SerialSource(QString device, MeterVariant variant, SerialSystem& serial, const Clock& clock,
                 const SerialPortNames& names, ByteFeed feed);
    ~SerialSource() override;

    bool start(QString* error) override;
    void awaitReturn() override;
    QString name() const override { return device_; }
    QString devicePath() const override;

    static constexpr int kRetryMs = 500;

private:
    QString openFailure() const;

    QString device_;
    std::unique_ptr<TCommPortDriver> port_;
    ByteFeed feed_;
    QTimer retry_;
};

// A meter on the USB cable: the node given, or the first device named
// "USB to Serial". The cable gets the variant's line speed; its reports are
// cut into frames for the decoder. While it is away, every device change is
// searched for it (the same node, or the next cable).
class HidSource final : public LogSource {
public:
    HidSource(std::optional<QString> path, MeterVariant variant, HidPlatform& platform,
              MeterPipeline& pipeline);
    ~HidSource() override;

    bool start(QString* error) override;
    void awaitReturn() override;
    QString name() const override;
    QString devicePath() const override { return devicePath_; }

private:
    // Takes the matching device that is plugged in. False with a message.
    bool attach(QString* error);
    void release();
    void deviceChanged();

    std::optional<QString> path_;
    MeterVariant variant_;
    HidPlatform& platform_;
    MeterPipeline& pipeline_;
    std::unique_ptr<TJvHidDeviceController> ctl_;
    std::unique_ptr<UsbFrameAssembler> assembler_;
    int emptyReports_ = 0;
    TJvHidDevice* dev_ = nullptr;
    QString devicePath_;
    bool removed_ = false;
    bool awaiting_ = false;
};

} // namespace velkor::cli
