// The limit judge: limit edits, their key filter and validation timers.

#include "app/TFCOMM.h"

#include "decode/StartValues.h"

namespace velkor {

// Connects the limit edits and Timer1, Timer4 to their handlers.
void TFCOMM::wireJudgeArea() {}

// The last accepted limit texts (start.UpperLimitText, start.LowerLimitText).
void TFCOMM::applyLimitStartValues(const StartValues& /*start*/) {}

} // namespace velkor
