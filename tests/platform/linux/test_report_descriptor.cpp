#include "platform/linux/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velkor;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// A vendor collection like the cable's: 8-byte input and output reports and
// a feature report, no report IDs.
const Bytes kCable = {0x06, 0xA0, 0xFF, 0x09, 0x01, 0xA1, 0x01,      // usage page, usage, collection
                      0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,      // logical 0..255, size 8
                      0x95, 0x08, 0x09, 0x01, 0x81, 0x02,            // count 8, input
                      0x95, 0x08, 0x09, 0x01, 0x91, 0x02,            // count 8, output
                      0x95, 0x09, 0x09, 0x01, 0xB1, 0x02, 0xC0};     // count 9, feature, end

const Bytes kNumbered = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,
                         0x85, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, // ID 1: 3 bytes
                         0x85, 0x02, 0x75, 0x01, 0x95, 0x0C, 0x81, 0x02, // ID 2: 12 bits
                         0x75, 0x04, 0x95, 0x01, 0x81, 0x03,             //       4 bits padding
                         0x75, 0x08, 0x95, 0x07, 0x81, 0x02, 0xC0};      //       7 bytes: 9 in all

struct Case {
    const char* name;
    Bytes descriptor;
    bool numbered;
    std::uint32_t length;
};

class ReportDescriptor : public ::testing::TestWithParam<Case> {};

TEST_P(ReportDescriptor, GivesTheLongestInputReportAndWhetherReportsAreNumbered) {
    const auto layout = parseReportDescriptor(GetParam().descriptor);
    EXPECT_EQ(layout.numbered, GetParam().numbered);
    EXPECT_EQ(layout.inputReportByteLength, GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportDescriptor,
    ::testing::Values(
        Case{"cable", kCable, false, 9},
        Case{"numbered", kNumbered, true, 10},
        Case{"bits_round_up", {0x75, 0x01, 0x95, 0x03, 0x81, 0x02}, false, 2},
        Case{"four_byte_count", {0x75, 0x08, 0x97, 0x20, 0x00, 0x00, 0x00, 0x81, 0x02}, false, 33},
        Case{"push_pop", {0x75, 0x08, 0x95, 0x02, 0xA4, 0x95, 0x10, 0xB4, 0x81, 0x02}, false, 3},
        Case{"long_item_skipped", cat({{0xFE, 0x02, 0x10, 0x95, 0x40}, {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}}),
             false, 2},
        Case{"cut_short", {0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x95}, false, 5},
        Case{"no_input", {0x75, 0x08, 0x95, 0x04, 0x91, 0x02}, false, 0},
        Case{"empty", {}, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
