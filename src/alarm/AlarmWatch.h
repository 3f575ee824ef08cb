#pragma once

#include "decode/LimitJudge.h"

namespace velkor {

// A change of the judge's verdict that has lasted.
enum class AlarmTransition { None, ToFail, ToPass };

// The side the verdicts have settled on.
enum class AlarmSide { Unknown, Pass, Fail };

// Watches the judge's verdicts, one per judged reading, and tells when they
// have turned: a transition counts once `after` verdicts in a row stand on
// the new side, so a value hovering at a limit does not chatter. A
// verdict back on the settled side starts the count again.
//
// At the start the side is unknown: verdicts that settle on Pass say
// nothing (there was no alarm to end), verdicts that settle on Fail are a
// transition to Fail (a circuit that fails from the first reading is an
// alarm too). A frame without a verdict (a limit that does not read as a
// number) is no reading here.
//
//   side     verdict    count        result
//   Unknown  Pass       reaches N    side Pass, None
//   Unknown  Fail       reaches N    side Fail, ToFail
//   Pass     Fail       reaches N    side Fail, ToFail
//   Fail     Pass       reaches N    side Pass, ToPass
//   any      the side's own          count back to 0, None
//   any      None                    nothing changes, None
class AlarmWatch {
public:
    // `after` below 1 counts as 1.
    explicit AlarmWatch(int after = 1) : after_(after < 1 ? 1 : after) {}

    AlarmTransition judged(Verdict verdict);

    AlarmSide side() const { return side_; }
    int after() const { return after_; }

private:
    int after_;
    AlarmSide side_ = AlarmSide::Unknown;
    AlarmSide candidate_ = AlarmSide::Unknown; // the side the count is for
    int count_ = 0;
};

} // namespace velkor
