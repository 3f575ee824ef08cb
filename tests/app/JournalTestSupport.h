#pragma once

#include "app/WindowTestSupport.h"

#include <string>

namespace velkor::test {

// The readings the journal tests log: 01.10, 01.11, ... volts DC, every one
// unlike the one before.
inline MeterFrame journalReading(int i) {
    return meterFrame("01." + std::to_string(10 + i),
                      {status1::Auto | status1::DC, 0, 0, status4::Volt});
}

} // namespace velkor::test
