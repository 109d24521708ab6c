// Read access to the private state of the effect's classes, for tests only
// (each class names its probe as a friend).
#pragma once

#include <cstdint>
#include <limits>

#include "dsp/comb_frame.h"
#include "dsp/delay_line.h"
#include "dsp/stereo_comb.h"
#include "dsp/lfo_tables.h"
#include "dsp/subnormal_flush.h"
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
    static float entry(const LfoTable& table, std::uint32_t i) { return table.entry(i); }
};

struct TempoFlangerProbe {
    explicit TempoFlangerProbe(TempoFlanger& flanger) : f(flanger.engine) {}
    explicit TempoFlangerProbe(FlangerEngine& engine) : f(engine) {}

    const StereoComb& comb() const { return *f.comb; }
    // Makes the flanger's comb run this kernel from now on.
    void useKernel(const CombKernel& kernel) { f.comb->useKernel(kernel); }
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
    std::int32_t waveShape() const { return static_cast<std::int32_t>(f.waveShape); }
    std::int32_t lastWaveShape() const { return static_cast<std::int32_t>(f.lastWaveShape); }
    std::int32_t currentDelay() const { return f.currentDelay; }
    std::uint32_t sampleCounter() const { return f.sampleCounter; }
    static std::int32_t roundDelay(float x) { return FlangerEngine::roundDelay(x); }

    // The audio loop taken literally, one frame at a time (LFO step, peeks,
    // ticks, outputs) through the comb's single-frame operations and the
    // frame formula, with subnormal numbers flushed to zero: the reference
    // the block loop must match bit for bit.
    void plainProcess(float** inputs, float** outputs, std::int32_t frames, bool accumulate) const {
        const SubnormalFlush flush;
        StereoComb& comb = *f.comb;
        const CombGains gains{f.feedbackGain, f.working(kParamSend), f.outputGain};
        for (std::int32_t i = 0; i < frames; ++i) {
            if (f.working(kParamModAmount) != 0.0f) {
                if (f.sineTable->isDue(f.sampleCounter)) {
                    if (f.waveShape == WaveShape::sine) f.currentDelay = FlangerEngine::roundDelay(f.sineTable->next());
                    if (f.waveShape == WaveShape::triangle) f.currentDelay = FlangerEngine::roundDelay(f.triangleTable->next());
                    if (f.waveShape == WaveShape::saw) f.currentDelay = FlangerEngine::roundDelay(f.sawTable->next());
                    comb.setDelay(f.currentDelay);
                }
                ++f.sampleCounter;
            }
            const StereoFrame fed = comb.peek();
            float stored[2];
            if (accumulate) {
                combFrame<true>(inputs[0] + i, inputs[1] + i, fed.left, fed.right, comb.delay() == 0, gains, stored[0],
                                stored[1], outputs[0] + i, outputs[1] + i);
            } else {
                combFrame<false>(inputs[0] + i, inputs[1] + i, fed.left, fed.right, comb.delay() == 0, gains, stored[0],
                                 stored[1], outputs[0] + i, outputs[1] + i);
            }
            comb.tick({stored[0], stored[1]});
        }
    }

    FlangerEngine& f;
};
