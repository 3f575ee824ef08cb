#include "alarm/AlarmWatch.h"

namespace velkor {

AlarmTransition AlarmWatch::judged(Verdict verdict) {
    if (verdict == Verdict::None) {
        return AlarmTransition::None;
    }
    const AlarmSide now = verdict == Verdict::Pass ? AlarmSide::Pass : AlarmSide::Fail;
    if (now == side_) {
        count_ = 0;
        return AlarmTransition::None;
    }
    if (now != candidate_) {
        candidate_ = now;
        count_ = 0;
    }
    if (++count_ < after_) {
        return AlarmTransition::None;
    }
    const AlarmSide was = side_;
    side_ = now;
    candidate_ = AlarmSide::Unknown;
    count_ = 0;
    if (now == AlarmSide::Fail) {
        return AlarmTransition::ToFail;
    }
    return was == AlarmSide::Fail ? AlarmTransition::ToPass : AlarmTransition::None;
}

} // namespace velkor
