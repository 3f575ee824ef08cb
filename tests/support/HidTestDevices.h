#pragma once

#include "support/FakeHidPlatform.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkor::test {

// A device of the substitute system at /dev/hidrawID with the product string
// given (none: the request fails).
inline FakeHidDevice hidDevice(std::uint32_t id, std::optional<std::u16string> product) {
    FakeHidDevice d;
    d.DeviceID = id;
    d.path = QStringLiteral("/dev/hidraw%1").arg(id);
    d.productString = std::move(product);
    return d;
}

// An input report of the cable as read: report ID 0, the count byte, the
// serial bytes, zeros up to the report length of 9.
inline std::vector<std::uint8_t> cableReport(std::uint8_t countByte,
                                             const std::vector<std::uint8_t>& serial = {}) {
    std::vector<std::uint8_t> r(std::max<std::size_t>(serial.size() + 2, 9), 0);
    r[1] = countByte;
    std::copy(serial.begin(), serial.end(), r.begin() + 2);
    return r;
}

// The reports that carry serial bytes: up to chunk bytes each, then one
// report without payload that ends the frame.
inline std::vector<std::vector<std::uint8_t>> cableReports(const std::vector<std::uint8_t>& serial,
                                                           std::size_t chunk = 7) {
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t i = 0; i < serial.size(); i += chunk) {
        const auto first = serial.begin() + static_cast<std::ptrdiff_t>(i);
        const auto last =
            serial.begin() + static_cast<std::ptrdiff_t>(std::min(serial.size(), i + chunk));
        out.push_back(cableReport(static_cast<std::uint8_t>(0xF0 | (last - first)), {first, last}));
    }
    out.push_back(cableReport(0xF0));
    return out;
}

} // namespace velkor::test
