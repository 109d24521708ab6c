#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "dsp/delay_line.h"
#include "probes.h"


namespace {

// Feeds 1, 2, 3, ... so that every output names the tick whose input it is.
class Ramp {
public:
    float next() { return static_cast<float>(++count); }

private:
    int count = 0;
};

TEST(DelayLine, NewLineIsSilentForNinetyNineTicksThenDelaysByNinetyNine) {
    DelayLine line(100);
    Ramp ramp;
    for (int i = 1; i <= 99; ++i) EXPECT_EQ(line.tick(ramp.next()), 0.0f) << "tick " << i;
    EXPECT_EQ(line.tick(ramp.next()), 1.0f);  // the 100th tick returns the first input
    for (int i = 101; i <= 350; ++i) EXPECT_EQ(line.tick(ramp.next()), static_cast<float>(i - 99));
}

TEST(DelayLine, DelayZeroReturnsTheSameTicksInputWhilePeekSeesTheOldest) {
    DelayLine line(100);
    Ramp ramp;
    for (int i = 0; i < 150; ++i) line.tick(ramp.next());  // inputs 1..150
    line.setDelay(0);
    EXPECT_EQ(line.peek(), 51.0f);  // stored 100 ticks ago, about to be overwritten
    EXPECT_EQ(line.tick(151.0f), 151.0f);
    EXPECT_EQ(line.peek(), 52.0f);
    EXPECT_EQ(line.tick(-3.5f), -3.5f);
}

TEST(DelayLine, PeekEqualsTheNextTickAtAnyPositiveDelay) {
    DelayLine line(100);
    Ramp ramp;
    for (int i = 0; i < 120; ++i) line.tick(ramp.next());
    for (std::int32_t delay : {1, 7, 50, 99}) {
        line.setDelay(delay);
        const float peeked = line.peek();
        EXPECT_EQ(line.peek(), peeked);
        const float input = ramp.next();
        EXPECT_EQ(line.tick(input), peeked);
        EXPECT_EQ(peeked, input - static_cast<float>(delay)) << "delay " << delay;
    }
}

TEST(DelayLine, SetDelayClampsAndWrapsBackwards) {
    DelayLine line(100);
    for (int i = 0; i < 3; ++i) line.tick(0.0f);
    ASSERT_EQ(DelayLineProbe::writeIndex(line), 3);
    line.setDelay(10);
    EXPECT_EQ(DelayLineProbe::readIndex(line), 93);
    line.setDelay(100);
    EXPECT_EQ(DelayLineProbe::readIndex(line), 4);  // acts as 99
    line.setDelay(12345);
    EXPECT_EQ(DelayLineProbe::readIndex(line), 4);
    line.setDelay(3);
    EXPECT_EQ(DelayLineProbe::readIndex(line), 0);
    // Negative delays are taken as 0.
    line.setDelay(-1);
    EXPECT_EQ(DelayLineProbe::readIndex(line), 3);
    line.setDelay(INT32_MIN);
    EXPECT_EQ(DelayLineProbe::readIndex(line), 3);
}

TEST(DelayLine, ClearSilencesButKeepsTheDelay) {
    DelayLine line(100);
    for (int i = 0; i < 130; ++i) line.tick(1.0f);
    line.setDelay(5);
    line.clear();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(line.tick(static_cast<float>(10 + i)), 0.0f);
    EXPECT_EQ(line.tick(20.0f), 10.0f);
}

TEST(DelayLine, LengthBelowTwoIsTakenAsTwo) {
    for (std::int32_t length : {1, 0, -5, INT32_MIN}) {
        DelayLine line(length);
        EXPECT_EQ(DelayLineProbe::length(line), 2);
        EXPECT_EQ(line.tick(1.0f), 0.0f);  // delay length - 1 = 1
        EXPECT_EQ(line.tick(2.0f), 1.0f);
        line.setDelay(5);
        EXPECT_EQ(line.tick(3.0f), 2.0f);
    }
}

TEST(DelayLine, NonFiniteSamplesPassThroughAndAreClearedAway) {
    DelayLine line(4);
    line.setDelay(1);
    line.tick(NAN);
    EXPECT_TRUE(std::isnan(line.tick(1.0f)));
    line.tick(NAN);
    line.clear();
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(std::isnan(line.tick(0.0f)));
}

}  // namespace
