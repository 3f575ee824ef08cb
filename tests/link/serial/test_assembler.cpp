#include "decode/DecoderTestSupport.h"
#include "sim/FrameEncoder.h"
#include "link/serial/FrameAssembler.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace velkor;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Collects every FrameHex the assembler hands on.
struct Collector {
    std::string frameHex;
    std::vector<std::string> frames;
    FrameAssembler byteAssembler{SerialAssemblerKind::Byte, frameHex,
                                 [this] { frames.push_back(frameHex); }};

    void feed(const Bytes& b, std::size_t from, std::size_t to) {
        byteAssembler.RECEIVE_COM_Data(b.data() + from, static_cast<std::ptrdiff_t>(to - from));
    }
};

Bytes stream(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes frameBytes(const char* display, std::array<std::uint8_t, 4> status) {
    const auto b = meterFrame(display, status).bytes();
    return Bytes(b.begin(), b.end());
}

const std::string kOverviewHex = "2B3031323320343030000080000D";

TEST(FrameAssembler, OverviewFrameAfterALineFeedIsAccepted) {
    Collector c;
    const Bytes b = {0x0A, 0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x34, 0x30, 0x00, 0x00, 0x80, 0x00, 0x0D, 0x0A};
    c.feed(b, 0, b.size());
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0], "2B30313233203430000080000D");
    EXPECT_EQ(c.byteAssembler.RxHex(), "0A") << "the line feed starts the next text";
}

TEST(FrameAssembler, EveryWayOfCuttingTheStreamGivesTheSameFrames) {
    const Bytes s = stream({{0x0A}, frameBytes("1.234", {0x30, 0, 0, 0x80}),
                            frameBytes("-0.587", {0, 0, 0x04, 0}), frameBytes("0L", {0x10, 0, 0, 0x80})});
    Collector whole;
    whole.feed(s, 0, s.size());
    ASSERT_EQ(whole.frames.size(), 3u);

    // Every cut into two and three pieces.
    for (std::size_t i = 0; i <= s.size(); ++i) {
        for (std::size_t j = i; j <= s.size(); ++j) {
            Collector c;
            c.feed(s, 0, i);
            c.feed(s, i, j);
            c.feed(s, j, s.size());
            ASSERT_EQ(c.frames, whole.frames) << "cut at " << i << ", " << j;
        }
    }
    // One byte per chunk, and random chunk sizes.
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        Collector c;
        for (std::size_t pos = 0; pos < s.size();) {
            const std::size_t n = round == 0 ? 1 : 1 + rng() % 9;
            const std::size_t end = std::min(s.size(), pos + n);
            c.feed(s, pos, end);
            pos = end;
        }
        ASSERT_EQ(c.frames, whole.frames);
    }
}

TEST(FrameAssembler, AcceptanceTest) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::size_t accepted;
    };
    const Bytes good = frameBytes("1.234", {0x30, 0, 0, 0x80});
    Bytes badSign = good;
    badSign[0] = 0x30;
    Bytes twelve = {0x2D, '1', '2', '3', '4', 0x20, '1', 0x30, 0, 0, 0x80, 0x0D};
    Bytes thirteenthNotCr = good;
    thirteenthNotCr.insert(thirteenthNotCr.begin() + 6, 0x20); // CR becomes byte 14
    Bytes crInside = good;
    crInside[3] = 0x0D;
    const Case cases[] = {
        {"line feed then frame", stream({{0x0A}, good}), 1},
        {"stream starting at the sign byte loses it", good, 0},
        {"first byte neither 2B nor 2D", stream({{0x0A}, badSign}), 0},
        {"12-byte frame ends at byte 12", stream({{0x0A}, twelve}), 1},
        {"carriage return at byte 14", stream({{0x0A}, thirteenthNotCr}), 0},
        {"0D inside a frame cuts it in two", stream({{0x0A}, crInside}), 0},
        {"two frames in one chunk", stream({{0x0A}, good, good}), 2},
    };
    for (const Case& c : cases) {
        Collector col;
        col.feed(c.bytes, 0, c.bytes.size());
        EXPECT_EQ(col.frames.size(), c.accepted) << c.name;
    }
}

TEST(FrameAssembler, TwelveByteFrameGivesTwentyFourDigits) {
    Collector c;
    const Bytes b = {0x0A, 0x2D, '1', '2', '3', '4', 0x20, '1', 0x30, 0, 0, 0x80, 0x0D};
    c.feed(b, 0, b.size());
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0], "2D313233342031300000800D");
}

TEST(FrameAssembler, StreamWithoutFrameEndIsBoundedAndLosesNothingAfterIt) {
    Collector c;
    Bytes garbage(1'000'000, 0x55);
    c.feed(garbage, 0, garbage.size());
    EXPECT_LE(c.byteAssembler.RxHex().size(), FrameAssembler::kByteRxHexLimit);
    EXPECT_TRUE(c.frames.empty());
    // The garbage ends at the next 0D (the frame's own, which fails); the
    // frame after it is received normally.
    const Bytes s = stream({frameBytes("1.234", {0x30, 0, 0, 0x80}), frameBytes("2.345", {0x30, 0, 0, 0x80})});
    c.feed(s, 0, s.size());
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_EQ(c.frames[0].substr(0, 10), "2B32333435");
}

TEST(FrameAssembler, DecoderFailureDropsTheRestOfTheChunkAndEmptiesRxHex) {
    test::DecoderFixture f;
    int decoded = 0;
    FrameAssembler a(SerialAssemblerKind::Byte, f.decoder.FrameHex, [&] {
        f.decoder.LcdDisplayHALVIN(1);
        ++decoded;
    });
    Bytes bad = frameBytes("1.234", {0x30, 0, 0, 0x80});
    bad[2] = 0x3B; // digit "B"
    const Bytes good = frameBytes("5.678", {0x30, 0, 0, 0x80});
    const Bytes chunk = stream({{0x0A}, bad, good});
    EXPECT_THROW(a.RECEIVE_COM_Data(chunk.data(), static_cast<std::ptrdiff_t>(chunk.size())),
                 ConversionError);
    EXPECT_EQ(decoded, 0);
    EXPECT_TRUE(a.RxHex().empty());
    // The next chunk is handled normally; its first frame has lost the line
    // feed that was dropped, the one after decodes.
    const Bytes next = stream({good, good});
    a.RECEIVE_COM_Data(next.data(), static_cast<std::ptrdiff_t>(next.size()));
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(f.decoder.reading.ValueText, QStringLiteral("5.678"));
}

TEST(FrameAssembler, NibbleFramesFillFrameHexWithoutDecoding) {
    std::string frameHex;
    int calls = 0;
    FrameAssembler a(SerialAssemblerKind::Nibble, frameHex, [&] { ++calls; });
    const Bytes b = {0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x70, 0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7};
    for (std::size_t i = 0; i < b.size(); ++i) {
        a.receive(&b[i], 1);
    }
    EXPECT_EQ(frameHex, "ABCDEF01234567");
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(a.RxHex().empty());

    Bytes endless(100'000, 0x11);
    a.receive(endless.data(), static_cast<std::ptrdiff_t>(endless.size()));
    EXPECT_LE(a.RxHex().size(), FrameAssembler::kNibbleRxHexLimit);
}

} // namespace
