#pragma once

#include "platform/AlarmSound.h"

namespace velkor::test {

// An alarm sound that counts how often it was played.
class RecordingAlarmSound final : public AlarmSound {
public:
    void play() override { ++plays; }
    int plays = 0;
};

} // namespace velkor::test
