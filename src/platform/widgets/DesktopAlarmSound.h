#pragma once

#include "platform/AlarmSound.h"

struct ca_context;

namespace velkor {

// The desktop's alarm through the freedesktop sound theme: libcanberra's
// event sound "dialog-warning", played by the desktop's sound server. Where
// none runs or the theme has no such sound, the X bell (QApplication's
// beep) rings instead. The sound system is reached at the first alarm, not
// at start-up.
class DesktopAlarmSound final : public AlarmSound {
public:
    DesktopAlarmSound();
    ~DesktopAlarmSound() override;
    DesktopAlarmSound(const DesktopAlarmSound&) = delete;
    DesktopAlarmSound& operator=(const DesktopAlarmSound&) = delete;

    void play() override;

    static constexpr const char* kEventId = "dialog-warning";

private:
    ca_context* context_ = nullptr;
    bool unavailable_ = false; // the sound system could not be reached: the bell only
};

} // namespace velkor
