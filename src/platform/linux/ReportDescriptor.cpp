#include "platform/linux/ReportDescriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace velkor {

namespace {

struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

// Item types and tags of the HID class definition (6.2.2).
constexpr int kMain = 0, kGlobal = 1;
constexpr int kInput = 0x8;
constexpr int kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9, kPush = 0xA, kPop = 0xB;

} // namespace

InputReportLayout parseReportDescriptor(std::span<const std::uint8_t> d) {
    InputReportLayout layout;
    Globals g;
    std::vector<Globals> stack;
    std::map<std::uint32_t, std::uint64_t> inputBits; // per report ID
    std::size_t i = 0;
    while (i < d.size()) {
        const std::uint8_t prefix = d[i];
        if (prefix == 0xFE) { // long item: size, tag, data
            if (i + 2 >= d.size()) {
                break;
            }
            i += 3 + d[i + 1];
            continue;
        }
        const std::size_t size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        if (i + 1 + size > d.size()) {
            break;
        }
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < size; ++k) {
            value |= static_cast<std::uint32_t>(d[i + 1 + k]) << (8 * k);
        }
        const int type = (prefix >> 2) & 0x03;
        const int tag = prefix >> 4;
        if (type == kGlobal) {
            switch (tag) {
            case kReportSize: g.reportSize = value; break;
            case kReportCount: g.reportCount = value; break;
            case kReportId:
                g.reportId = value;
                layout.numbered = true;
                break;
            case kPush: stack.push_back(g); break;
            case kPop:
                if (!stack.empty()) {
                    g = stack.back();
                    stack.pop_back();
                }
                break;
            default: break;
            }
        } else if (type == kMain && tag == kInput) {
            inputBits[g.reportId] += static_cast<std::uint64_t>(g.reportSize) * g.reportCount;
        }
        i += 1 + size;
    }
    std::uint64_t longest = 0;
    for (const auto& [id, bits] : inputBits) {
        longest = std::max(longest, (bits + 7) / 8);
    }
    if (!inputBits.empty()) {
        layout.inputReportByteLength =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(longest + 1, 0xFFFF));
    }
    return layout;
}

} // namespace velkor
