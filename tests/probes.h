// Read access to the private state of the effect's classes, for tests only
// (each class names its probe as a friend).
#pragma once

#include <cstdint>

#include "dsp/delay_line.h"
#include "dsp/lfo_tables.h"
#include "flanger/tempo_flanger.h"

struct DelayLineProbe {
    static std::int32_t readIndex(const DelayLine& line) { return line.readIndex; }
    static std::int32_t writeIndex(const DelayLine& line) { return line.writeIndex; }
    static std::int32_t length(const DelayLine& line) { return line.length; }
    // The current delay: (write - read) modulo length.
    static std::int32_t delay(const DelayLine& line) {
        return (line.writeIndex - line.readIndex + line.length) % line.length;
    }
};

struct LfoTableProbe {
    static std::uint32_t capacity(const LfoTable& table) { return table.capacity; }
    static std::uint32_t length(const LfoTable& table) { return table.length; }
    static std::uint32_t readIndex(const LfoTable& table) { return table.readIndex; }
    static std::uint32_t lastTick(const LfoTable& table) { return table.lastTick; }
    static void setLastTick(LfoTable& table, std::uint32_t tick) { table.lastTick = tick; }
    static float entry(const LfoTable& table, std::uint32_t i) { return table.buffer[i]; }
};

struct TempoFlangerProbe {
    explicit TempoFlangerProbe(TempoFlanger& flanger) : f(flanger) {}

    const DelayLine& left() const { return *f.delayLeft; }
    const DelayLine& right() const { return *f.delayRight; }
    LfoTable& sine() const { return *f.sineTable; }
    LfoTable& triangle() const { return *f.triangleTable; }
    LfoTable& saw() const { return *f.sawTable; }
    const FlangerProgram& program(std::int32_t i) const { return f.programs[static_cast<std::size_t>(i)]; }
    float lfoSampleRate() const { return f.lfoSampleRate; }
    float beatStep() const { return f.beatStep; }
    float depthSamples() const { return f.depthSamples; }
    float modSamples() const { return f.modSamples; }
    float lfoRate() const { return f.lfoRate; }
    float lfoCenter() const { return f.lfoCenter; }
    float waveStep() const { return f.waveStep; }
    float feedbackGain() const { return f.feedbackGain; }
    float outputGain() const { return f.outputGain; }
    std::uint32_t beatsPerCycle() const { return f.beatsPerCycle; }
    std::int32_t waveShape() const { return f.waveShape; }
    std::int32_t lastWaveShape() const { return f.lastWaveShape; }
    std::int32_t currentDelay() const { return f.currentDelay; }
    std::uint32_t sampleCounter() const { return f.sampleCounter; }
    static std::int32_t roundDelay(float x) { return TempoFlanger::roundDelay(x); }

    TempoFlanger& f;
};
