#include "dsp/lfo_tables.h"

#include <bit>
#include <cmath>

namespace {

constexpr float kFallbackRate = 0.00001f;   // Hz, for a rate of 0 or NaN
constexpr double kTwoPi = 6.28318530717958;  // as the sine has always used it
constexpr std::uint32_t kMaxCapacity = 0xFFFFFFFEu;

// A non-negative entry count from a double: NaN and negatives give 0, values
// at or above `limit` give `limit`, everything else is truncated.
std::uint32_t entryCount(double value, std::uint32_t limit) {
    if (value >= static_cast<double>(limit)) return limit;
    if (value > 0.0) return static_cast<std::uint32_t>(value);
    return 0;
}

double asDouble(float value) { return static_cast<double>(value); }

}  // namespace

LfoTable::LfoTable(Shape shape, std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate)
    : shape(shape),
      samplePeriod(static_cast<float>(1.0 / asDouble(sampleRate))),
      sampleRate(sampleRate),
      stepFrames(stepFrames == 0 ? 1 : stepFrames),
      capacity(entryCount(asDouble(static_cast<float>(maxCycleSeconds)) * sampleRate /
                              asDouble(static_cast<float>(this->stepFrames)),
                          kMaxCapacity)),
      readIndex(0),
      lastTick(0),
      length(0) {}

LfoTable::~LfoTable() = default;

float LfoTable::next() {
    // The first half of a cycle asks for each sine in turn, from the start
    // of the cycle, before the mirrored half needs it again.
    if (shape == Shape::sine && !cleared && readIndex == keptSines && readIndex <= length / 2) {
        sines[keptSines] = sineOffset(keptSines);
        ++keptSines;
    }
    const float value = entry(readIndex);
    readIndex = readIndex < length ? readIndex + 1 : 0;
    return value;
}

void LfoTable::clear() {
    cleared = true;
    readIndex = 0;
}

void LfoTable::startCycle(float cycleAmount, float rate, float cycleCenter) {
    const float stepCount = static_cast<float>(stepFrames);
    stepDuration = static_cast<float>(asDouble(stepCount) * samplePeriod);
    if (rate == 0.0f || std::isnan(rate)) rate = kFallbackRate;
    const auto period = static_cast<float>(1.0 / asDouble(rate));
    // A negative or infinite rate, or one faster than a step, leaves a
    // one-entry cycle; a cycle longer than the capacity is shortened to fit.
    length = entryCount(asDouble(period) * sampleRate / stepCount, capacity);
    const std::uint32_t cycleFrames = stepFrames * length;
    const float previousRate = effectiveRate;
    const float previousAmount = amount;
    effectiveRate = cycleFrames == 0
                        ? 0.0f
                        : static_cast<float>(asDouble(sampleRate) / asDouble(static_cast<float>(cycleFrames)));
    amount = cycleAmount;
    center = cycleCenter;
    base = static_cast<float>(asDouble(center) - asDouble(amount));
    cleared = false;
    readIndex = 0;
    // The kept sines depend on the rate and the amount only (not on the
    // centre): a cycle with the same two bit for bit keeps them.
    if (std::bit_cast<std::uint32_t>(effectiveRate) != std::bit_cast<std::uint32_t>(previousRate) ||
        std::bit_cast<std::uint32_t>(amount) != std::bit_cast<std::uint32_t>(previousAmount)) {
        keptSines = 0;
    }
}

float LfoTable::sineOffset(std::uint32_t j) const {
    if (j < keptSines) return sines[j];
    const double phase = asDouble(effectiveRate) * static_cast<double>(j) * asDouble(stepDuration) * kTwoPi;
    return static_cast<float>(std::sin(phase) * asDouble(amount));
}

float LfoTable::entry(std::uint32_t i) const {
    if (cleared) return 0.0f;
    switch (shape) {
        case Shape::sine: {
            // Entries 0..length/2 are center + v(i); the rest mirror them as
            // center - v(length - i), and for an even length the middle one
            // is also center - v (that write came last).
            const bool firstHalf = i <= length / 2;
            const float v = sineOffset(firstHalf ? i : length - i);
            if (firstHalf && i != length - i) return static_cast<float>(asDouble(v) + asDouble(center));
            return static_cast<float>(asDouble(center) - asDouble(v));
        }
        case Shape::triangle: {
            const std::uint32_t j = i <= length / 2 ? i : length - i;
            return static_cast<float>(asDouble(static_cast<float>(j)) * slope * asDouble(stepDuration) + base);
        }
        case Shape::saw:
        default:
            return static_cast<float>(asDouble(static_cast<float>(i)) * slope * asDouble(stepDuration) + base);
    }
}

SineTable::SineTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate)
    : LfoTable(Shape::sine, stepFrames, maxCycleSeconds, sampleRate) {
    sines = std::make_unique<float[]>(static_cast<std::size_t>(capacity / 2) + 1);
}

void SineTable::build(float cycleAmount, float rate, float cycleCenter) {
    startCycle(cycleAmount, rate, cycleCenter);
}

TriangleTable::TriangleTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate)
    : LfoTable(Shape::triangle, stepFrames, maxCycleSeconds, sampleRate) {}

void TriangleTable::build(float cycleAmount, float rate, float cycleCenter) {
    startCycle(cycleAmount, rate, cycleCenter);
    slope = static_cast<float>(asDouble(effectiveRate) * asDouble(amount) * 4.0);
}

SawTable::SawTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate)
    : LfoTable(Shape::saw, stepFrames, maxCycleSeconds, sampleRate) {}

void SawTable::build(float cycleAmount, float rate, float cycleCenter) {
    startCycle(cycleAmount, rate, cycleCenter);
    slope = static_cast<float>(asDouble(effectiveRate) * asDouble(amount) * 2.0);
}
