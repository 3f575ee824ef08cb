#pragma once

#include "sim/FrameEncoder.h"

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

// Goes through the scenario frame by frame: each step's frame as often as
// the step repeats, and from the start again after the last step.
class DemoWalk {
public:
    explicit DemoWalk(std::vector<ScenarioStep> steps = demoScenario());
    // The step whose frame comes next; moves on by one frame.
    const ScenarioStep& next();
    // Frames in one walk through every step.
    long framesPerWalk() const;

private:
    std::vector<ScenarioStep> steps_;
    std::size_t step_ = 0;
    int repeat_ = 0;
};

} // namespace velkor
