#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "flanger/tempo_flanger.h"
#include "probes.h"

namespace {

constexpr float kDefaults[] = {0.428572f, 0.8462f, 1.0f, 0.25f, 0.25f, 0.0f, 0.5f, 0.25f};

class Flanger : public ::testing::Test {
protected:
    TempoFlanger flanger{nullptr};
    TempoFlangerProbe probe{flanger};

    void set(FlangerParameter index, float value) { flanger.setParameter(index, value); }
    // Advances the sine table's cycle so that a rebuild shows as a restart.
    void stepTable(LfoTable& table, int steps) {
        for (int i = 0; i < steps; ++i) table.next();
    }
};

TEST_F(Flanger, ConstructionLoadsTheDefaults) {
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(flanger.getParameter(i), kDefaults[i]) << "parameter " << i;
    EXPECT_EQ(flanger.getProgram(), 0);
    EXPECT_EQ(probe.beatsPerCycle(), 64u);
    EXPECT_EQ(probe.lfoRate(), 0.031250019f);
    EXPECT_EQ(probe.depthSamples(), 25.0f);
    EXPECT_EQ(probe.modSamples(), 11.5f);
    EXPECT_EQ(probe.lfoCenter(), 25.0f);
    EXPECT_EQ(probe.waveShape(), 1);
    EXPECT_EQ(probe.lastWaveShape(), 1);
    EXPECT_EQ(probe.feedbackGain(), 0.495f);
    EXPECT_EQ(probe.outputGain(), 1.0f);
    EXPECT_EQ(probe.lfoSampleRate(), 44100.0f);
    EXPECT_EQ(probe.beatStep(), 0.07692308f);
    EXPECT_EQ(probe.waveStep(), 0.33333334f);
    EXPECT_EQ(probe.sampleCounter(), 0u);
    for (std::int32_t p = 0; p < 16; ++p) {
        const FlangerProgram& program = probe.program(p);
        EXPECT_STREQ(program.name, "Init");
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) EXPECT_EQ(program.values[i], kDefaults[i]) << i;
    }
    // Construction ends suspended: tables cleared, lines at their initial delay.
    for (LfoTable* table : {&probe.sine(), &probe.triangle(), &probe.saw()}) {
        EXPECT_EQ(LfoTableProbe::entry(*table, 0), 0.0f);
    }
    EXPECT_EQ(probe.comb().delay(), 99);

    const EffectRecord* record = flanger.getRecord();
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->flags, 24);
    EXPECT_EQ(record->uniqueId, 0x517A3776);
    EXPECT_EQ(record->numPrograms, 16);
    EXPECT_EQ(record->numParams, 8);
}

TEST_F(Flanger, ResolutionZonesIncludeTheirExactLowerBoundary) {
    const std::uint32_t beats[] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 48, 64, 96};
    for (int k = 1; k <= 12; ++k) {
        const double boundary = k * static_cast<double>(0.07692308f);
        float atOrAbove = static_cast<float>(boundary);
        if (static_cast<double>(atOrAbove) < boundary) atOrAbove = std::nextafter(atOrAbove, 2.0f);
        const float below = std::nextafter(atOrAbove, 0.0f);
        set(kParamResolution, atOrAbove);
        EXPECT_EQ(probe.beatsPerCycle(), beats[k]) << "zone " << k << " at " << atOrAbove;
        set(kParamResolution, below);
        EXPECT_EQ(probe.beatsPerCycle(), beats[k - 1]) << "zone " << k << " below, " << below;
    }
    set(kParamResolution, 0.07692308f);
    EXPECT_EQ(probe.beatsPerCycle(), 2u);
    set(kParamResolution, 0.61538464f);
    EXPECT_EQ(probe.beatsPerCycle(), 16u);
    set(kParamResolution, std::nextafter(0.61538464f, 0.0f));
    EXPECT_EQ(probe.beatsPerCycle(), 8u);
    set(kParamResolution, 0.0f);
    EXPECT_EQ(probe.beatsPerCycle(), 1u);
    set(kParamResolution, 1.0f);
    EXPECT_EQ(probe.beatsPerCycle(), 96u);
    set(kParamResolution, 1.5f);
    EXPECT_EQ(probe.beatsPerCycle(), 96u);
    EXPECT_EQ(flanger.getParameter(kParamResolution), 1.5f);
}

TEST_F(Flanger, RateRangeEnds) {
    set(kParamTempo, 0.0f);
    set(kParamResolution, 1.0f);
    EXPECT_EQ(probe.lfoRate(), 0.010416667f);
    set(kParamTempo, 1.0f);
    set(kParamResolution, 0.0f);
    EXPECT_EQ(probe.lfoRate(), 3.33333325f);
}

TEST_F(Flanger, WaveformZonesRebuildOnlyOnAShapeChange) {
    const struct {
        float value;
        std::int32_t shape;
    } zones[] = {{0.0f, 1}, {0.33333334f, 1}, {0.34f, 2}, {0.6666667f, 2}, {0.67f, 3}, {1.0f, 3}, {-0.5f, 1}};
    for (const auto& zone : zones) {
        set(kParamWaveform, zone.value);
        EXPECT_EQ(probe.waveShape(), zone.shape) << zone.value;
    }
    set(kParamWaveform, 1.2f);
    EXPECT_EQ(probe.waveShape(), 1);
    set(kParamWaveform, NAN);
    EXPECT_EQ(probe.waveShape(), 1);

    // A second value in the same zone rebuilds nothing: the cycle goes on.
    set(kParamWaveform, 0.4f);
    stepTable(probe.triangle(), 3);
    set(kParamWaveform, 0.5f);
    EXPECT_EQ(LfoTableProbe::readIndex(probe.triangle()), 3u);
    set(kParamWaveform, 1.2f);
    EXPECT_EQ(LfoTableProbe::readIndex(probe.triangle()), 3u);
    set(kParamWaveform, 0.9f);
    stepTable(probe.saw(), 2);
    set(kParamWaveform, 0.3f);  // sine: rebuilt, the saw keeps its place
    EXPECT_EQ(LfoTableProbe::readIndex(probe.saw()), 2u);
    EXPECT_EQ(LfoTableProbe::readIndex(probe.sine()), 0u);
    EXPECT_EQ(probe.lastWaveShape(), 1);
}

TEST_F(Flanger, DepthWithModulationOffSetsTheLines) {
    set(kParamModAmount, 0.0f);
    const float centre = probe.lfoCenter();
    const struct {
        float depth;
        std::int32_t delay;
    } cases[] = {{0.5f, 50}, {0.999f, 99}, {1.0f, 99}, {0.0f, 0}, {-0.3f, 0}, {NAN, 0}, {INFINITY, 99}, {-INFINITY, 0}};
    for (const auto& c : cases) {
        set(kParamDepth, c.depth);
        EXPECT_EQ(probe.comb().delay(), c.delay) << c.depth;
    }
    EXPECT_EQ(probe.lfoCenter(), centre);
}

TEST_F(Flanger, ClampCenterKeepsTheSweepInsideTheLine) {
    set(kParamModAmount, 0.25f);
    set(kParamDepth, 0.25f);
    EXPECT_EQ(probe.lfoCenter(), 25.0f);
    set(kParamModAmount, 1.0f);
    EXPECT_EQ(probe.modSamples(), 49.0f);
    EXPECT_EQ(probe.lfoCenter(), 49.0f);  // raised so that the sweep starts at 0
    set(kParamModAmount, 0.25f);
    EXPECT_EQ(probe.lfoCenter(), 49.0f);  // Mod Amt clamps the current centre
    set(kParamDepth, 0.25f);
    EXPECT_EQ(probe.lfoCenter(), 25.0f);

    set(kParamDepth, 0.9f);
    EXPECT_EQ(probe.lfoCenter(), 88.5f);
    set(kParamModAmount, 1.0f);
    EXPECT_EQ(probe.lfoCenter(), 51.0f);
}

TEST_F(Flanger, DepthWhileModulationIsOffLeavesTheCentre) {
    set(kParamDepth, 0.5f);  // centre 50 with modulation on
    set(kParamModAmount, 0.0f);
    EXPECT_EQ(probe.modSamples(), -1.0f);
    set(kParamDepth, 0.8f);
    EXPECT_EQ(probe.comb().delay(), 80);
    EXPECT_EQ(probe.lfoCenter(), 50.0f);
    set(kParamModAmount, 0.5f);
    EXPECT_EQ(probe.modSamples(), 24.0f);
    EXPECT_EQ(probe.lfoCenter(), 50.0f);  // clampCenter(24, 50), not 80
}

TEST_F(Flanger, ProgramZeroAlwaysComesBackWithTheFactoryValues) {
    set(kParamSend, 0.3f);
    EXPECT_EQ(probe.program(0).values[kParamSend], 0.3f);
    flanger.setProgram(1);
    flanger.setProgram(0);
    EXPECT_EQ(flanger.getParameter(kParamSend), 1.0f);
    EXPECT_EQ(probe.program(0).values[kParamSend], 1.0f);

    flanger.setProgram(1);
    set(kParamSend, 0.3f);
    flanger.setProgram(2);
    EXPECT_EQ(flanger.getParameter(kParamSend), 1.0f);
    flanger.setProgram(1);
    EXPECT_EQ(flanger.getParameter(kParamSend), 0.3f);
    EXPECT_EQ(probe.program(1).values[kParamSend], 0.3f);
    EXPECT_EQ(flanger.getProgram(), 1);
}

TEST_F(Flanger, ProgramLoadSeesThePreviousModAmountAtItsDepthStep) {
    flanger.setProgram(2);
    set(kParamModAmount, 0.0f);
    set(kParamDepth, 0.5f);
    flanger.setProgram(1);  // Mod Amt 0.25: lines follow the LFO again
    set(kParamDepth, 0.2f);
    ASSERT_EQ(probe.lfoCenter(), 20.0f);
    const std::int32_t delayBefore = probe.comb().delay();
    flanger.setProgram(2);  // its Depth step still sees Mod Amt 0.25
    EXPECT_EQ(probe.lfoCenter(), 50.0f);
    EXPECT_EQ(probe.comb().delay(), delayBefore);
    EXPECT_EQ(flanger.getParameter(kParamModAmount), 0.0f);
}

TEST_F(Flanger, IndicesOutsideTheRangeChangeNothing) {
    for (std::int32_t index : {8, -1, 1000, INT32_MIN}) {
        flanger.setParameter(index, 0.5f);
        EXPECT_EQ(flanger.getParameter(index), 0.0f);
    }
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(flanger.getParameter(i), kDefaults[i]);
    EXPECT_EQ(probe.program(0).values[kParamSend], 1.0f);
    for (std::int32_t program : {-1, 16, INT32_MIN, INT32_MAX}) {
        flanger.setProgram(program);
        EXPECT_EQ(flanger.getProgram(), 0);
    }
}

TEST_F(Flanger, GainsAndTheLfoSampleRate) {
    set(kParamFeedback, 1.0f);
    EXPECT_EQ(probe.feedbackGain(), 0.99000001f);
    set(kParamBoost, 0.0f);
    EXPECT_EQ(probe.outputGain(), 0.0f);
    set(kParamBoost, 1.0f);
    EXPECT_EQ(probe.outputGain(), 4.0f);
    flanger.dispatcher(kOpSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(flanger.getSampleRate(), 48000.0f);
    EXPECT_EQ(probe.lfoSampleRate(), 44100.0f);
}

TEST(RoundDelay, HalvesGoDownNegativesTruncate) {
    const struct {
        float x;
        std::int32_t whole;
    } cases[] = {{11.5f, 11}, {11.500001f, 12}, {11.49f, 11}, {0.5f, 0},  {0.51f, 1},
                 {99.6f, 100}, {-0.7f, 0},     {-5.5f, -5},  {0.0f, 0},  {NAN, 0},
                 {INFINITY, INT32_MAX}, {-INFINITY, INT32_MIN}, {3e9f, INT32_MAX}, {2147483520.0f, 2147483520}};
    for (const auto& c : cases) EXPECT_EQ(TempoFlangerProbe::roundDelay(c.x), c.whole) << c.x;
}

TEST_F(Flanger, SuspendAndResumeTouchOnlyLinesAndTables) {
    float left[300] = {}, right[300] = {};
    for (int i = 0; i < 300; ++i) left[i] = right[i] = 0.25f;
    float* in[] = {left, right};
    float outLeft[300], outRight[300];
    float* out[] = {outLeft, outRight};
    flanger.resume();
    flanger.processReplacing(in, out, 250);
    const std::uint32_t counter = probe.sampleCounter();
    const std::uint32_t lastTick = LfoTableProbe::lastTick(probe.sine());
    const std::int32_t delay = probe.currentDelay();
    flanger.suspend();
    EXPECT_EQ(LfoTableProbe::length(probe.sine()), 14111u);  // just under 32 s of 100-frame steps
    EXPECT_EQ(LfoTableProbe::entry(probe.sine(), 1), 0.0f);
    flanger.resume();
    EXPECT_EQ(probe.sampleCounter(), counter);
    EXPECT_EQ(LfoTableProbe::lastTick(probe.sine()), lastTick);
    EXPECT_EQ(probe.currentDelay(), delay);
    EXPECT_EQ(probe.comb().delay(), delay);
    // All three tables are rebuilt, not only the current shape's.
    EXPECT_EQ(LfoTableProbe::entry(probe.triangle(), 0), 25.0f - 11.5f);
    EXPECT_EQ(LfoTableProbe::entry(probe.saw(), 0), 25.0f - 11.5f);
    EXPECT_EQ(LfoTableProbe::entry(probe.sine(), 0), 25.0f);
}

TEST_F(Flanger, ModulationOffFreezesTheFrameCounter) {
    std::vector<float> silence(500, 0.0f);
    float* in[] = {silence.data(), silence.data()};
    std::vector<float> l(500), r(500);
    float* out[] = {l.data(), r.data()};
    flanger.processReplacing(in, out, 150);
    EXPECT_EQ(probe.sampleCounter(), 150u);
    set(kParamModAmount, 0.0f);
    flanger.processReplacing(in, out, 300);
    EXPECT_EQ(probe.sampleCounter(), 150u);
    flanger.processReplacing(in, out, 0);
    flanger.processReplacing(in, out, -5);
    flanger.process(in, out, -5);
    EXPECT_EQ(probe.sampleCounter(), 150u);
    set(kParamModAmount, 0.5f);
    flanger.process(in, out, 49);
    EXPECT_EQ(probe.sampleCounter(), 199u);
    EXPECT_EQ(LfoTableProbe::lastTick(probe.sine()), 100u);
}

// Values no host should send: nothing crashes, nothing is converted out of
// range, and sane values with a switch off and on bring clean audio back.
TEST_F(Flanger, HostileValuesAreSurvivedAndRecoveredFrom) {
    const float hostile[] = {NAN, INFINITY, -INFINITY, -1.0f, 2.0f, 1e30f, -1e30f,
                             std::numeric_limits<float>::denorm_min(), -0.0f, 0.01f};
    std::vector<float> noise(256);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = std::sin(static_cast<float>(i)) * 0.5f;
    float* in[] = {noise.data(), noise.data()};
    std::vector<float> l(256), r(256);
    float* out[] = {l.data(), r.data()};
    flanger.resume();
    for (std::int32_t index = 0; index < 8; ++index) {
        for (float value : hostile) {
            flanger.setParameter(index, value);
            flanger.processReplacing(in, out, 256);
            flanger.process(in, out, 256);
        }
        flanger.setParameter(kParamModAmount, 0.0f);
        flanger.setParameter(kParamDepth, NAN);
        flanger.processReplacing(in, out, 256);
        flanger.setProgram(0);
    }
    flanger.suspend();
    flanger.resume();
    for (int block = 0; block < 50; ++block) {
        flanger.processReplacing(in, out, 256);
        for (std::size_t i = 0; i < 256; ++i) {
            ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i])) << "block " << block << " frame " << i;
        }
    }
}

}  // namespace
