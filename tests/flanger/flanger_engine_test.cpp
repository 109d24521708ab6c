// The engine on its own: a reset brings back a new engine's sound whatever
// came before, and what the host-side tool knows of the flanger is what the
// flanger is.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "cli/lfo_tempo.h"
#include "flanger/flanger_engine.h"
#include "flanger/tempo_flanger.h"

namespace {

std::vector<float> render(FlangerEngine& engine, unsigned seed, std::size_t frames) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> left(frames), right(frames), outLeft(frames), outRight(frames);
    for (std::size_t i = 0; i < frames; ++i) left[i] = right[i] = uniform(random);
    for (std::size_t at = 0; at < frames; at += 300) {
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(300, frames - at));
        float* in[] = {left.data() + at, right.data() + at};
        float* out[] = {outLeft.data() + at, outRight.data() + at};
        engine.processReplacing(in, out, n);
    }
    outLeft.insert(outLeft.end(), outRight.begin(), outRight.end());
    return outLeft;
}

TEST(FlangerEngine, ResetSoundsAsANewEngine) {
    FlangerEngine fresh;
    fresh.resume();
    const std::vector<float> expected = render(fresh, 1, 30000);

    FlangerEngine used;
    used.resume();
    used.setProgram(3);
    used.setParameter(kParamModAmount, 1.0f);  // the centre moves, and stays moved
    used.setParameter(kParamWaveform, 0.5f);
    used.setParameter(kParamDepth, 0.9f);
    std::strcpy(used.programRecord(3).name, "Used");
    used.followSong({12345.0, 17.0, 1.0, 0.001}, true);
    render(used, 2, 12345);
    used.reset();
    used.resume();
    EXPECT_EQ(used.program(), 0);
    EXPECT_STREQ(used.programRecord(3).name, "Init");
    EXPECT_FALSE(used.followingSong());
    ASSERT_EQ(render(used, 1, 30000), expected);
}

TEST(FlangerEngine, APlaceThatCannotLockLeavesTheLfoRunningFree) {
    FlangerEngine engine;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    engine.followSong({0.0, nan, 1.0, 0.001}, true);  // by beat, without a beat
    EXPECT_FALSE(engine.followingSong());
    engine.followSong({nan, 4.0, 1.0, 0.001}, false);  // in turn, without a frame
    EXPECT_FALSE(engine.followingSong());
    engine.followSong({0.0, 0.0, 1.0, std::numeric_limits<double>::infinity()}, true);
    EXPECT_FALSE(engine.followingSong());
    engine.followSong({1e300, 1e300, 1.0, 1e300}, true);  // huge but finite: locks, and renders safely
    EXPECT_TRUE(engine.followingSong());
    engine.resume();
    render(engine, 3, 5000);
    engine.runFree();
    EXPECT_FALSE(engine.followingSong());
}

TEST(FlangerFacts, TheToolKnowsTheFlangerAsItIs) {
    EXPECT_EQ(LfoTempo::kFlangerId, flangerfacts::kUniqueId);
    EXPECT_EQ(LfoTempo::kTableRate, static_cast<double>(flangerfacts::kTableRate));
    EXPECT_EQ(LfoTempo::kTempoIndex, kParamTempo);
    EXPECT_EQ(LfoTempo::kResolutionIndex, kParamResolution);
    EXPECT_EQ(LfoTempo::kModAmountIndex, kParamModAmount);
    EXPECT_EQ(LfoTempo::kSlowestBpm, flangerscale::kLowestBpm);
    EXPECT_EQ(LfoTempo::kBpmSpan, flangerscale::kBpmRange);
    TempoFlanger flanger(nullptr);
    EXPECT_EQ(flanger.getRecord()->uniqueId, flangerfacts::kUniqueId);
    EXPECT_EQ(flanger.getRecord()->numInputs, flangerfacts::kInputs);
    EXPECT_EQ(flanger.getRecord()->numOutputs, flangerfacts::kOutputs);
}

}  // namespace
