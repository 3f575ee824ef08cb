#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velkor {

// What the HID layer needs to know from a device's report descriptor.
struct InputReportLayout {
    // Whether reports carry a report ID byte (the descriptor has Report ID items).
    bool numbered = false;
    // Length of the longest input report in bytes with one byte for the
    // report ID, present or not (as the HID layer hands reports on); 0 when
    // the device has no input reports.
    std::uint32_t inputReportByteLength = 0;
};

// Walks the short and long items of a report descriptor; a descriptor cut
// short ends the walk at the last whole item.
InputReportLayout parseReportDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace velkor
