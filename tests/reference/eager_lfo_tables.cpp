#include "reference/eager_lfo_tables.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kFallbackRate = 0.00001f;   // Hz, for a rate of 0 or NaN
constexpr double kTwoPi = 6.28318530717958;  // as the sine fill has always used it
constexpr std::uint32_t kMaxCapacity = 0xFFFFFFFEu;

// A non-negative entry count from a double: NaN and negatives give 0, values
// at or above `limit` give `limit`, everything else is truncated.
std::uint32_t entryCount(double value, std::uint32_t limit) {
    if (value >= static_cast<double>(limit)) return limit;
    if (value > 0.0) return static_cast<std::uint32_t>(value);
    return 0;
}

}  // namespace

EagerLfoTable::EagerLfoTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate)
    : samplePeriod(static_cast<float>(1.0 / static_cast<double>(sampleRate))),
      sampleRate(sampleRate),
      stepFrames(stepFrames == 0 ? 1 : stepFrames),
      capacity(entryCount(static_cast<double>(static_cast<float>(maxCycleSeconds)) * sampleRate /
                              static_cast<double>(static_cast<float>(this->stepFrames)),
                          kMaxCapacity)),
      readIndex(0),
      lastTick(0),
      length(0) {
    // Zeroed rather than left unset, so that a table read before its first
    // build or clear yields silence.
    buffer = std::make_unique<float[]>(std::size_t{capacity} + 1);
}

EagerLfoTable::~EagerLfoTable() = default;

void EagerLfoTable::clear() {
    std::fill_n(buffer.get(), std::size_t{capacity} + 1, 0.0f);
    readIndex = 0;
}

EagerLfoTable::Cycle EagerLfoTable::startCycle(float rate) {
    const float stepCount = static_cast<float>(stepFrames);
    const auto stepDuration = static_cast<float>(static_cast<double>(stepCount) * samplePeriod);
    if (rate == 0.0f || std::isnan(rate)) rate = kFallbackRate;
    const auto period = static_cast<float>(1.0 / static_cast<double>(rate));
    // A negative or infinite rate, or one faster than a step, leaves a
    // one-entry cycle; a cycle longer than the storage is shortened to fit.
    length = entryCount(static_cast<double>(period) * sampleRate / stepCount, capacity);
    const std::uint32_t cycleFrames = stepFrames * length;
    const float effectiveRate =
        cycleFrames == 0 ? 0.0f
                         : static_cast<float>(static_cast<double>(sampleRate) /
                                              static_cast<double>(static_cast<float>(cycleFrames)));
    readIndex = 0;
    return {stepDuration, effectiveRate};
}

void EagerSineTable::build(float amount, float rate, float center) {
    const Cycle cycle = startCycle(rate);
    for (std::uint32_t i = 0; i <= length / 2; ++i) {
        const double phase = static_cast<double>(cycle.effectiveRate) * static_cast<double>(i) *
                             static_cast<double>(cycle.stepDuration) * kTwoPi;
        const auto v = static_cast<float>(std::sin(phase) * static_cast<double>(amount));
        buffer[i] = static_cast<float>(static_cast<double>(v) + static_cast<double>(center));
        buffer[length - i] = static_cast<float>(static_cast<double>(center) - static_cast<double>(v));
    }
}

void EagerTriangleTable::build(float amount, float rate, float center) {
    const Cycle cycle = startCycle(rate);
    const auto slope = static_cast<float>(static_cast<double>(cycle.effectiveRate) *
                                          static_cast<double>(amount) * 4.0);
    const auto base = static_cast<float>(static_cast<double>(center) - static_cast<double>(amount));
    for (std::uint32_t i = 0; i <= length / 2; ++i) {
        const auto v = static_cast<float>(static_cast<double>(static_cast<float>(i)) * slope *
                                              static_cast<double>(cycle.stepDuration) +
                                          static_cast<double>(base));
        buffer[length - i] = v;
        buffer[i] = v;
    }
}

void EagerSawTable::build(float amount, float rate, float center) {
    const Cycle cycle = startCycle(rate);
    const auto slope = static_cast<float>(static_cast<double>(cycle.effectiveRate) *
                                          static_cast<double>(amount) * 2.0);
    const auto base = static_cast<float>(static_cast<double>(center) - static_cast<double>(amount));
    for (std::uint32_t i = 0; i <= length; ++i) {
        buffer[i] = static_cast<float>(static_cast<double>(static_cast<float>(i)) * slope *
                                           static_cast<double>(cycle.stepDuration) +
                                       static_cast<double>(base));
    }
}
