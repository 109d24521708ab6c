// The tables work each entry out when it is read; these tests hold them to
// the eager fill (every entry stored in index order), value for value.
#include <gtest/gtest.h>

#include "fingerprint.h"

#include <cmath>
#include <cstring>
#include <random>

#include "dsp/lfo_tables.h"
#include "probes.h"
#include "reference/eager_lfo_tables.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

template <typename Lazy, typename Eager>
void expectSameCycle(float sampleRate, float amount, float rate, float center) {
    Lazy lazy(100, 96, sampleRate);
    Eager eager(100, 96, sampleRate);
    lazy.build(amount, rate, center);
    eager.build(amount, rate, center);
    const std::uint32_t length = LfoTableProbe::length(lazy);
    ASSERT_EQ(length, eager.cycleLength()) << "rate " << rate;
    for (std::uint32_t i = 0; i <= length; ++i) {
        ASSERT_TRUE(sameBits(LfoTableProbe::entry(lazy, i), eager.at(i)))
            << "entry " << i << " of " << length << ": " << LfoTableProbe::entry(lazy, i) << " vs " << eager.at(i)
            << " (amount " << amount << ", rate " << rate << ", center " << center << ")";
    }
    for (std::uint32_t step = 0; step < 3 * (length + 1) && step < 500; ++step) {
        ASSERT_TRUE(sameBits(lazy.next(), eager.next())) << "step " << step;
    }
}

void expectAllShapes(float sampleRate, float amount, float rate, float center) {
    expectSameCycle<SineTable, EagerSineTable>(sampleRate, amount, rate, center);
    expectSameCycle<TriangleTable, EagerTriangleTable>(sampleRate, amount, rate, center);
    expectSameCycle<SawTable, EagerSawTable>(sampleRate, amount, rate, center);
}

TEST(LfoClosedForm, FlangerRatesAmountsAndCentres) {
    // Every beats-per-cycle at the ends and the middle of the tempo range,
    // with the sweeps the flanger produces.
    const unsigned beats[] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 48, 64, 96};
    const float bpms[] = {60.0f, 120.000076f, 133.3f, 200.0f};
    const float sweeps[][2] = {{11.5f, 25.0f}, {49.0f, 49.0f}, {24.0f, 76.0f}, {-0.98f, 0.3f}, {0.0f, 99.0f}};
    for (unsigned b : beats) {
        for (float bpm : bpms) {
            const auto rate = static_cast<float>(static_cast<double>(bpm) / (b * 60));
            for (const auto& sweep : sweeps) expectAllShapes(44100.0f, sweep[0], rate, sweep[1]);
        }
    }
}

TEST(LfoClosedForm, LengthsOddEvenShortAndFull) {
    // At 400 Hz a rate r gives a length of 4 / r steps.
    for (float rate : {4.0f, 2.0f, 1.3333334f, 1.0f, 0.8f, 0.6666667f, 0.5714286f, 0.5f, 0.1f, 0.0123f}) {
        expectAllShapes(400.0f, 1.0f, rate, 0.0f);
        expectAllShapes(400.0f, -3.5f, rate, 10.25f);
    }
    expectAllShapes(44100.0f, 10.0f, 0.010416667f, 50.0f);  // exactly the capacity
    expectAllShapes(44100.0f, 10.0f, 0.0f, 50.0f);          // the fallback rate, shortened
    expectAllShapes(48000.0f, 33.3f, 0.2f, 40.0f);
    expectAllShapes(44100.0f, 11.5f, 1000.0f, 25.0f);  // a cycle of one entry
    expectAllShapes(44100.0f, 11.5f, -2.0f, 25.0f);
}

TEST(LfoClosedForm, SeededRandomCycles) {
    std::mt19937 random(20261208);
    std::uniform_real_distribution<float> amounts(-1.0f, 49.0f), centres(0.0f, 100.0f), rates(0.0104f, 3.34f);
    for (int i = 0; i < 60; ++i) expectAllShapes(44100.0f, amounts(random), rates(random), centres(random));
}

TEST(LfoClosedForm, ClearedTablesReadZeroUntilTheNextBuild) {
    SineTable lazy(100, 96, 400.0f);
    EagerSineTable eager(100, 96, 400.0f);
    lazy.build(1.0f, 0.8f, 2.0f);
    eager.build(1.0f, 0.8f, 2.0f);
    lazy.next();
    eager.next();
    lazy.clear();
    eager.clear();
    for (int step = 0; step < 13; ++step) ASSERT_TRUE(sameBits(lazy.next(), eager.next()));
    lazy.build(2.0f, 1.0f, 0.0f);
    eager.build(2.0f, 1.0f, 0.0f);
    for (int step = 0; step < 13; ++step) ASSERT_TRUE(sameBits(lazy.next(), eager.next()));
}

// The sine keeps the sines it works out: they serve the mirrored half and
// every later round of the cycle, and a rebuild or a clear part way through a
// round must forget them.
TEST(LfoClosedForm, KeptSinesServeLaterRoundsAndGoWithEachRebuild) {
    // At 400 Hz these rates give cycles of 40, 41 (odd), 4 and 1 entries.
    for (float rate : {0.1f, 0.0975f, 1.0f, 4.0f}) {
        SineTable lazy(100, 96, 400.0f);
        EagerSineTable eager(100, 96, 400.0f);
        auto expectSteps = [&](std::uint32_t steps) {
            for (std::uint32_t step = 0; step < steps; ++step) {
                ASSERT_TRUE(sameBits(lazy.next(), eager.next())) << "rate " << rate << ", step " << step;
            }
        };
        lazy.build(1.5f, rate, 3.0f);
        eager.build(1.5f, rate, 3.0f);
        const std::uint32_t entries = LfoTableProbe::length(lazy) + 1;
        expectSteps(4 * entries);
        expectSteps(entries / 3);  // part way into the first half
        lazy.build(-2.25f, rate, 7.0f);
        eager.build(-2.25f, rate, 7.0f);
        expectSteps(3 * entries);
        expectSteps(entries / 2 + 1);  // part way into the second half
        lazy.clear();
        eager.clear();
        expectSteps(5);
        lazy.build(1.0f, rate * 2.0f, 0.5f);
        eager.build(1.0f, rate * 2.0f, 0.5f);
        expectSteps(3 * entries);
        // The same rate and amount about another centre, part way into the
        // first half: the sines worked out so far serve the new cycle too.
        expectSteps(entries / 5);
        lazy.build(1.0f, rate * 2.0f, -4.0f);
        eager.build(1.0f, rate * 2.0f, -4.0f);
        expectSteps(2 * entries);
        // Only the amount changes: they do not.
        lazy.build(1.25f, rate * 2.0f, -4.0f);
        eager.build(1.25f, rate * 2.0f, -4.0f);
        expectSteps(2 * entries);
    }
}

TEST(LfoClosedForm, DefaultCycleTwiceRound) {
    SineTable lazy(100, 96, 44100.0f);
    EagerSineTable eager(100, 96, 44100.0f);
    lazy.build(11.5f, 0.031250019f, 25.0f);
    eager.build(11.5f, 0.031250019f, 25.0f);
    const std::uint32_t entries = LfoTableProbe::length(lazy) + 1;
    ASSERT_EQ(entries, 14112u);  // 32 s less a little, in steps of 100 frames, truncated
    for (std::uint32_t step = 0; step < 2 * entries; ++step) {
        ASSERT_TRUE(sameBits(lazy.next(), eager.next())) << "step " << step;
    }
}

}  // namespace

namespace {

// The sine entries of the default cycle, bit for bit, whichever C runtime
// computes the sine.
TEST(LfoClosedForm, SineEntriesAreTheSameOnEveryBuild) {
    SineTable sine(100, 96, 44100.0f);
    sine.build(11.5f, 0.031250019f, 25.0f);
    fingerprint::Render entries;
    entries.channels.resize(1);
    for (std::uint32_t i = 0; i <= LfoTableProbe::length(sine); ++i) entries.channels[0].push_back(LfoTableProbe::entry(sine, i));
    EXPECT_TRUE(fingerprint::matches(entries, 4260789456752686066ull, "sine-entries"));
    // A mismatch says where: one entry changed is found in its block.
    entries.channels[0][5000] += 1.0f;
    const auto changed = fingerprint::matches(entries, 4260789456752686066ull, "sine-entries");
    EXPECT_FALSE(changed);
    EXPECT_NE(std::string(changed.message()).find("channel 0 first differs in frames 4096 to 5119"), std::string::npos)
        << changed.message();
}

}  // namespace
