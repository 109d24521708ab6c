#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/lfo_tables.h"
#include "probes.h"


namespace {

using Probe = LfoTableProbe;

// The entries `next` returns over `steps` steps.
std::vector<float> play(LfoTable& table, std::size_t steps) {
    std::vector<float> values;
    for (std::size_t i = 0; i < steps; ++i) values.push_back(table.next());
    return values;
}

TEST(LfoTable, CapacityCoversTheLongestCycle) {
    EXPECT_EQ(Probe::capacity(SineTable(100, 96, 44100.0f)), 42336u);
    EXPECT_EQ(Probe::capacity(SawTable(100, 96, 48000.0f)), 46080u);
    EXPECT_EQ(Probe::capacity(TriangleTable(0, 96, 44100.0f)), 96u * 44100u);  // stepFrames 0 acts as 1
}

TEST(LfoTable, FourHundredHertzTablesEntryByEntry) {
    SawTable saw(100, 96, 400.0f);
    saw.build(1.0f, 1.0f, 0.0f);
    EXPECT_EQ(Probe::length(saw), 4u);
    EXPECT_EQ(play(saw, 10), (std::vector<float>{-1.0f, -0.5f, 0.0f, 0.5f, 1.0f, -1.0f, -0.5f, 0.0f, 0.5f, 1.0f}));

    TriangleTable triangle(100, 96, 400.0f);
    triangle.build(1.0f, 1.0f, 0.0f);
    EXPECT_EQ(play(triangle, 10),
              (std::vector<float>{-1.0f, 0.0f, 1.0f, 0.0f, -1.0f, -1.0f, 0.0f, 1.0f, 0.0f, -1.0f}));

    SineTable sine(100, 96, 400.0f);
    sine.build(1.0f, 1.0f, 0.0f);
    const std::vector<float> cycle = play(sine, 10);
    EXPECT_EQ(cycle[0], 0.0f);
    EXPECT_EQ(cycle[1], 1.0f);
    EXPECT_LT(cycle[2], 0.0f);  // the middle entry is center - v, v just above 0
    EXPECT_NEAR(cycle[2], -3.2e-15f, 0.1e-15f);
    EXPECT_EQ(cycle[3], -1.0f);
    EXPECT_EQ(cycle[4], 0.0f);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(cycle[i + 5], cycle[i]);
}

TEST(LfoTable, OddLengthsHaveTwoEqualMiddleEntries) {
    TriangleTable triangle(100, 96, 400.0f);
    triangle.build(1.0f, 0.8f, 0.0f);  // period 1.25 s: 5 steps of 0.25 s
    ASSERT_EQ(Probe::length(triangle), 5u);
    const std::vector<float> cycle = play(triangle, 6);
    EXPECT_EQ(cycle[0], -1.0f);
    EXPECT_FLOAT_EQ(cycle[1], -0.2f);
    EXPECT_FLOAT_EQ(cycle[2], 0.6f);
    EXPECT_EQ(cycle[3], cycle[2]);
    EXPECT_EQ(cycle[4], cycle[1]);
    EXPECT_EQ(cycle[5], cycle[0]);

    SawTable saw(100, 96, 400.0f);
    saw.build(1.0f, 0.8f, 0.0f);
    const std::vector<float> ramp = play(saw, 6);
    const float expected[] = {-1.0f, -0.6f, -0.2f, 0.2f, 0.6f, 1.0f};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(ramp[i], expected[i], 1e-6f) << "entry " << i;
}

TEST(LfoTable, SlowestCycleFillsTheWholeCapacity) {
    SineTable sine(100, 96, 44100.0f);
    sine.build(10.0f, 0.010416667f, 50.0f);  // period 96.0 s
    ASSERT_EQ(Probe::length(sine), 42336u);
    const std::vector<float> cycle = play(sine, 42338);
    EXPECT_EQ(cycle[42336], 50.0f);  // entry `length` is written and read
    EXPECT_EQ(cycle[42337], cycle[0]);
    EXPECT_EQ(cycle[0], 50.0f);
    EXPECT_NEAR(cycle[42336 / 4], 60.0f, 1e-4f);

    SawTable saw(100, 96, 44100.0f);
    saw.build(10.0f, 0.0f, 50.0f);  // rate 0 falls back to a cycle longer than the storage
    EXPECT_EQ(Probe::length(saw), 42336u);
    saw.build(10.0f, NAN, 50.0f);
    EXPECT_EQ(Probe::length(saw), 42336u);
    saw.build(10.0f, 0.005f, 50.0f);  // 200 s: shortened to fit
    EXPECT_EQ(Probe::length(saw), 42336u);
    EXPECT_FLOAT_EQ(Probe::entry(saw, 42336), 60.0f);
}

TEST(LfoTable, IsDueFiresExactlyEveryStep) {
    SineTable table(100, 96, 44100.0f);
    for (std::uint32_t counter = 1; counter < 100; ++counter) EXPECT_FALSE(table.isDue(counter));
    EXPECT_TRUE(table.isDue(100));
    EXPECT_FALSE(table.isDue(101));
    EXPECT_FALSE(table.isDue(199));
    EXPECT_TRUE(table.isDue(200));
    EXPECT_FALSE(table.isDue(200));  // recorded: 200 is no longer 100 past it

    Probe::setLastTick(table, 0xFFFFFFC0u);
    EXPECT_FALSE(table.isDue(0xFFFFFFFFu));
    EXPECT_FALSE(table.isDue(0x23u));
    EXPECT_TRUE(table.isDue(0x24u));  // 0xFFFFFFC0 + 100, wrapped
}

TEST(LfoTable, StepFramesZeroFiresEveryFrame) {
    SawTable table(0, 1, 100.0f);
    for (std::uint32_t counter = 1; counter < 50; ++counter) EXPECT_TRUE(table.isDue(counter));
}

TEST(LfoTable, BuildRestartsTheCycleWithoutMovingTheStepGrid) {
    SawTable saw(100, 96, 400.0f);
    saw.build(1.0f, 1.0f, 0.0f);
    EXPECT_TRUE(saw.isDue(100));
    EXPECT_EQ(saw.next(), -1.0f);
    EXPECT_EQ(saw.next(), -0.5f);
    EXPECT_FALSE(saw.isDue(150));
    saw.build(2.0f, 1.0f, 0.0f);  // between two steps
    EXPECT_EQ(Probe::readIndex(saw), 0u);
    EXPECT_FALSE(saw.isDue(199));
    EXPECT_TRUE(saw.isDue(200));
    EXPECT_EQ(saw.next(), -2.0f);
}

TEST(LfoTable, ClearGivesSilenceAndKeepsTheLength) {
    TriangleTable table(100, 96, 400.0f);
    table.build(1.0f, 1.0f, 5.0f);
    table.next();
    table.clear();
    EXPECT_EQ(Probe::length(table), 4u);
    EXPECT_EQ(Probe::readIndex(table), 0u);
    for (float value : play(table, 12)) EXPECT_EQ(value, 0.0f);
}

// Rates no caller should pass still give a length within the storage and
// entries within center +- amount.
TEST(LfoTable, HostileRatesGiveBoundedCycles) {
    const float rates[] = {-1.0f,
                           -0.001f,
                           INFINITY,
                           -INFINITY,
                           1000.0f,  // faster than one step at 44100 Hz
                           441.1f,
                           1e-30f,
                           std::numeric_limits<float>::denorm_min(),
                           -std::numeric_limits<float>::denorm_min(),
                           std::numeric_limits<float>::max()};
    SineTable sine(100, 96, 44100.0f);
    TriangleTable triangle(100, 96, 44100.0f);
    SawTable saw(100, 96, 44100.0f);
    LfoTable* tables[] = {&sine, &triangle, &saw};
    for (float rate : rates) {
        sine.build(11.5f, rate, 25.0f);
        triangle.build(11.5f, rate, 25.0f);
        saw.build(11.5f, rate, 25.0f);
        for (LfoTable* table : tables) {
            const std::uint32_t length = Probe::length(*table);
            ASSERT_LE(length, Probe::capacity(*table)) << "rate " << rate;
            for (std::uint32_t i = 0; i <= length; ++i) {
                const float entry = Probe::entry(*table, i);
                ASSERT_GE(entry, 25.0f - 11.5f - 1e-4f) << "rate " << rate << " entry " << i;
                ASSERT_LE(entry, 25.0f + 11.5f + 1e-4f) << "rate " << rate << " entry " << i;
            }
        }
    }
    sine.build(11.5f, -1.0f, 25.0f);
    EXPECT_EQ(Probe::length(sine), 0u);
    sine.build(11.5f, 1e-30f, 25.0f);
    EXPECT_EQ(Probe::length(sine), 42336u);
}

TEST(LfoTable, InvertedSweepStaysBetweenItsEnds) {
    SawTable saw(100, 96, 44100.0f);
    saw.build(-0.5f, 0.03125f, 10.0f);
    for (std::uint32_t i = 0; i <= Probe::length(saw); ++i) {
        ASSERT_LE(Probe::entry(saw, i), 10.5f + 1e-5f);
        ASSERT_GE(Probe::entry(saw, i), 9.5f - 1e-5f);
    }
}

}  // namespace
