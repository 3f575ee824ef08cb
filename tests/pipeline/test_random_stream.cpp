// Arbitrary bytes through assembler and decoder: every failure is a
// conversion error, memory stays bounded, nothing crashes (this test also
// runs under AddressSanitizer and UndefinedBehaviorSanitizer).
#include "sim/DemoScenario.h"
#include "platform/LocaleSource.h"
#include "pipeline/MeterPipeline.h"
#include "pipeline/PassHost.h"
#include "support/FixedLocaleSource.h"

#include <gtest/gtest.h>

#include <random>

using namespace velkor;

namespace {

std::vector<std::uint8_t> randomStream(std::mt19937& rng, std::size_t n) {
    // Mostly mutated real frames, with runs of pure noise in between.
    const auto scenario = demoScenario();
    std::vector<std::uint8_t> out;
    while (out.size() < n) {
        if (rng() % 4 == 0) {
            for (int i = 0, len = static_cast<int>(rng() % 40); i < len; ++i) {
                out.push_back(static_cast<std::uint8_t>(rng()));
            }
            continue;
        }
        auto bytes = scenario[rng() % scenario.size()].frame.bytes();
        for (int flips = static_cast<int>(rng() % 3); flips > 0; --flips) {
            bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

class RandomStream : public ::testing::TestWithParam<MeterVariant> {};

TEST_P(RandomStream, OnlyConversionErrorsAndBoundedState) {
    std::mt19937 rng(20261210u + static_cast<unsigned>(GetParam()));
    FixedLocaleSource locale(QStringLiteral("."));
    PassHost host;
    MeterPipeline pipeline(GetParam(), locale, host);
    long decoded = 0;
    long failed = 0;
    pipeline.setOnDecoded([&] { ++decoded; });
    const auto s = randomStream(rng, 400'000);
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t n = std::min<std::size_t>(s.size() - pos, 1 + rng() % 64);
        try {
            pipeline.receive(s.data() + pos, static_cast<std::ptrdiff_t>(n));
        } catch (const ConversionError&) {
            ++failed;
        }
        pos += n;
        ASSERT_LE(pipeline.assembler().RxHex().size(), FrameAssembler::kNibbleRxHexLimit);
        ASSERT_LE(pipeline.decoder().FrameHex.size(), FrameAssembler::kNibbleRxHexLimit);
    }
    if (GetParam() != MeterVariant::IFCASTEM) {
        EXPECT_GT(decoded, 1000) << "most mutated frames still decode";
        EXPECT_GT(failed, 0) << "some mutations hit a digit";
    }
    const Reading& r = pipeline.decoder().reading;
    EXPECT_LE(r.ValueText.size(), 9);
    EXPECT_TRUE(std::isfinite(r.ScaledValue));
}

INSTANTIATE_TEST_SUITE_P(Variants, RandomStream, ::testing::ValuesIn(kAllVariants),
                         [](const auto& info) { return std::string(variantName(info.param)); });

} // namespace
