#include "platform/widgets/DesktopAlarmSound.h"

#include <QApplication>
#include <canberra.h>

namespace velkor {

DesktopAlarmSound::DesktopAlarmSound() = default;

DesktopAlarmSound::~DesktopAlarmSound() {
    if (context_) {
        ca_context_destroy(context_);
    }
}

void DesktopAlarmSound::play() {
    if (!context_ && !unavailable_) {
        if (ca_context_create(&context_) != CA_SUCCESS) {
            context_ = nullptr;
        } else {
            ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "velkor",
                                    CA_PROP_APPLICATION_ID, "org.velkor.velkor", nullptr);
            if (ca_context_open(context_) != CA_SUCCESS) {
                ca_context_destroy(context_);
                context_ = nullptr;
            }
        }
        unavailable_ = context_ == nullptr;
    }
    // Played in the background; an error here means nothing will sound.
    if (context_ && ca_context_play(context_, 0, CA_PROP_EVENT_ID, kEventId,
                                    CA_PROP_EVENT_DESCRIPTION, "Fail", nullptr) == CA_SUCCESS) {
        return;
    }
    QApplication::beep();
}

} // namespace velkor
