#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace velkor {

class TJvHidDevice;
class TJvHidDeviceController;

// An event handler that knows which assignment it came from: copies of one
// handler compare equal, two handlers made separately never do. The
// controller uses this to pass a new handler on to exactly the devices that
// still carry its old one. Copies may be made on any thread.
template <class Signature> class HidEvent;

template <class R, class... Args> class HidEvent<R(Args...)> {
public:
    HidEvent() = default;
    HidEvent(std::nullptr_t) {}
    template <class F>
    requires(!std::is_same_v<std::decay_t<F>, HidEvent> && std::is_invocable_r_v<R, F&, Args...>)
        HidEvent(F f)
        : fn_(std::make_shared<const std::function<R(Args...)>>(std::move(f))) {}

    explicit operator bool() const { return fn_ != nullptr; }
    R operator()(Args... args) const { return (*fn_)(std::forward<Args>(args)...); }
    bool operator==(const HidEvent& other) const { return fn_ == other.fn_; }

    // A handler that calls method on object, as an event of a window is bound.
    template <auto Method, class Object> static HidEvent method(Object* object) {
        return HidEvent(
            [object](Args... args) -> R { return (object->*Method)(std::forward<Args>(args)...); });
    }

private:
    std::shared_ptr<const std::function<R(Args...)>> fn_;
};

// TJvHidPlugEvent: OnArrival, OnRemoval, OnDeviceUnplug, a device's OnUnplug.
using TJvHidPlugEvent = HidEvent<void(TJvHidDevice* HidDev)>;
// TJvHidEnumerateEvent: false stops the enumeration.
using TJvHidEnumerateEvent = HidEvent<bool(TJvHidDevice* HidDev, int Idx)>;
// TJvHidDataEvent: Data points at the report after its ID and is valid only
// during the call.
using TJvHidDataEvent = HidEvent<void(TJvHidDevice* HidDev, std::uint8_t ReportID,
                                      const std::uint8_t* Data, std::uint16_t Size)>;
// TJvHidDataErrorEvent: Error is the system's code for a read that failed.
using TJvHidDataErrorEvent = HidEvent<void(TJvHidDevice* HidDev, std::uint32_t Error)>;
// OnDeviceChange: the controller as sender.
using TJvHidDeviceChangeEvent = HidEvent<void(TJvHidDeviceController* Sender)>;

} // namespace velkor
