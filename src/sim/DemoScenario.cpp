#include "sim/DemoScenario.h"

#include <stdexcept>

namespace velkor {

namespace {

using namespace status1;
using S = std::array<std::uint8_t, 4>;

ScenarioStep step(std::string label, const std::string& display, S status, int repeats = 3) {
    return {std::move(label), meterFrame(display, status), repeats};
}

} // namespace

std::vector<ScenarioStep> demoScenario() {
    const std::uint8_t V = status4::Volt, A = status4::Ampere, Ohm = status4::Ohm;
    const std::uint8_t Hz = status4::Hertz, F = status4::Farad;
    std::vector<ScenarioStep> s;
    s.push_back(step("DC 6 V range", "1.502", {Auto | DC, 0, 0, V}));
    s.push_back(step("DC 6 V range", "1.498", {Auto | DC, 0, 0, V}));
    s.push_back(step("DC 60 V range", "12.07", {Auto | DC, 0, 0, V}));
    s.push_back(step("DC 600 V range", "230.4", {Auto | DC, 0, 0, V}));
    s.push_back(step("DC 1000 V range", "0998", {Auto | DC, 0, 0, V}));
    s.push_back(step("DC negative", "-4.815", {Auto | DC, 0, 0, V}));
    s.push_back(step("DC millivolts", "123.4", {Auto | DC, 0, status3::Milli, V}));
    s.push_back(step("AC 6 V range", "3.300", {Auto | AC, 0, 0, V}));
    s.push_back(step("AC 60 V range", "24.15", {Auto | AC, 0, 0, V}));
    s.push_back(step("AC 600 V range", "229.8", {Auto | AC, 0, 0, V}));
    s.push_back(step("AC 750 V range", "0231", {Auto | AC, 0, 0, V}));
    s.push_back(step("manual range", "05.00", {DC, 0, 0, V}));
    s.push_back(step("hold", "05.00", {Hold | DC, 0, 0, V}));
    s.push_back(step("relative", "0.012", {Auto | Rel | DC, 0, 0, V}));
    s.push_back(step("ohms", "220.0", {Auto, 0, 0, Ohm}));
    s.push_back(step("kilo-ohms", "4.700", {Auto, 0, status3::Kilo, Ohm}));
    s.push_back(step("kilo-ohms", "47.00", {Auto, 0, status3::Kilo, Ohm}));
    s.push_back(step("mega-ohms", "1.000", {Auto, 0, status3::Mega, Ohm}));
    s.push_back(step("ohms overload", "0L", {Auto, 0, status3::Mega, Ohm}));
    s.push_back(step("continuity", "001.2", {0, 0, status3::Continuity, Ohm}));
    s.push_back(step("diode", "0.587", {0, 0, status3::Diode, 0}));
    s.push_back(step("capacitance", "10.05", {Auto, 0, status3::Micro, F}));
    s.push_back(step("capacitance", "47.20", {Auto, status2::Nano, 0, F}));
    s.push_back(step("hertz", "50.00", {Auto, 0, 0, Hz}));
    s.push_back(step("kilohertz", "1.000", {Auto, 0, status3::Kilo, Hz}));
    s.push_back(step("duty cycle", "050.0", {0, 0, status3::Percent, 0}));
    s.push_back(step("Celsius", "0023", {0, 0, 0, status4::Celsius}));
    s.push_back(step("Fahrenheit", "0073", {0, 0, 0, status4::Fahrenheit}));
    s.push_back(step("microamperes", "345.6", {Auto | DC, 0, status3::Micro, A}));
    s.push_back(step("milliamperes", "12.34", {Auto | DC, 0, status3::Milli, A}));
    s.push_back(step("milliamperes AC", "123.4", {Auto | AC, 0, status3::Milli, A}));
    s.push_back(step("amperes", "1.234", {Auto | DC, 0, 0, A}));
    s.push_back(step("volts overload", "0L", {Auto | DC, 0, 0, V}));
    s.push_back(step("low battery", "1.499", {Auto | DC, status2::Battery, 0, V}));
    return s;
}

DemoWalk::DemoWalk(std::vector<ScenarioStep> steps) : steps_(std::move(steps)) {
    if (framesPerWalk() <= 0) {
        throw std::invalid_argument("a demo walk needs at least one frame");
    }
}

const ScenarioStep& DemoWalk::next() {
    while (steps_[step_].repeats <= repeat_) {
        step_ = (step_ + 1) % steps_.size();
        repeat_ = 0;
    }
    ++repeat_;
    return steps_[step_];
}

long DemoWalk::framesPerWalk() const {
    long n = 0;
    for (const auto& s : steps_) {
        n += s.repeats;
    }
    return n;
}

} // namespace velkor
