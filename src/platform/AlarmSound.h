#pragma once

namespace velkor {

// The desktop's alarm sound, played when the judge turns Fail. It plays and
// returns at once; what the desktop cannot play is not an error.
class AlarmSound {
public:
    virtual ~AlarmSound() = default;
    virtual void play() = 0;
};

} // namespace velkor
