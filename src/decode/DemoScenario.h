#pragma once

#include "decode/FrameEncoder.h"

#include <string>
#include <vector>

namespace velkor {

// One step of the simulated meter's walk: what it shows and for how many frames.
struct ScenarioStep {
    std::string label;
    MeterFrame frame;
    int repeats;
};

// A walk through realistic readings of every function and range the meter has.
std::vector<ScenarioStep> demoScenario();

} // namespace velkor
