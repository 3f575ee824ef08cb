// The alarm's hysteresis as a table: verdicts in, transitions out.
#include "alarm/AlarmWatch.h"

#include <gtest/gtest.h>
#include <string>

using namespace velkor;

namespace {

// Verdicts as letters (P pass, F fail, - none) and the transitions they
// give, one letter each (f to Fail, p to Pass, . none).
struct WatchCase {
    const char* name;
    int after;
    const char* verdicts;
    const char* transitions;
    AlarmSide side;
};

class Hysteresis : public ::testing::TestWithParam<WatchCase> {};

TEST_P(Hysteresis, TransitionsComeAfterEnoughVerdictsOnTheNewSide) {
    const WatchCase& c = GetParam();
    AlarmWatch watch(c.after);
    std::string got;
    for (const char* v = c.verdicts; *v; ++v) {
        const Verdict verdict = *v == 'P'   ? Verdict::Pass
                                : *v == 'F' ? Verdict::Fail
                                            : Verdict::None;
        switch (watch.judged(verdict)) {
        case AlarmTransition::None: got += '.'; break;
        case AlarmTransition::ToFail: got += 'f'; break;
        case AlarmTransition::ToPass: got += 'p'; break;
        }
    }
    EXPECT_EQ(got, c.transitions);
    EXPECT_EQ(watch.side(), c.side);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Hysteresis,
    ::testing::Values(
        // Passing from the start says nothing; the first Fail is the alarm.
        WatchCase{"passes_then_a_fail", 1, "PPPFF", "...f.", AlarmSide::Fail},
        WatchCase{"fail_and_back", 1, "PFPFP", ".fpfp", AlarmSide::Pass},
        // A circuit that fails from the first reading is an alarm too.
        WatchCase{"failing_from_the_start", 1, "FFP", "f.p", AlarmSide::Pass},
        WatchCase{"failing_from_the_start_after_3", 3, "FFFF", "..f.", AlarmSide::Fail},
        // Hovering at a limit: no run of three, no alarm.
        WatchCase{"hovering", 3, "PPPFFPFFPFPF", "............", AlarmSide::Pass},
        WatchCase{"three_in_a_row", 3, "PPFFPFFFFPPPP", ".......f...p.", AlarmSide::Pass},
        // Back on the settled side starts the count again.
        WatchCase{"count_restarts", 2, "PFPFFPPFP", "....f.p..", AlarmSide::Pass},
        // Frames without a verdict neither count nor break a run.
        WatchCase{"no_verdicts", 2, "P-F-F--P-P", "....f....p", AlarmSide::Pass},
        WatchCase{"only_no_verdicts", 1, "---", "...", AlarmSide::Unknown},
        // Below 1 counts as 1.
        WatchCase{"after_zero", 0, "PF", ".f", AlarmSide::Fail},
        // Settling on Pass from unknown takes the count too.
        WatchCase{"unknown_settles_late", 3, "PPF", "...", AlarmSide::Unknown}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
