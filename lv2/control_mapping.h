// The LV2 edition's controls, in the units people think in, mapped onto the
// normalized values (0..1) the flanger takes. A control value that shows
// what the factory value shows maps to the factory value itself; values a
// host sends outside a control's range are brought into it; NaN gives the
// factory value.
#pragma once

#include <cstdint>

namespace lv2controls {

// Port indices, in the order of the bundle's description.
enum Port : std::uint32_t {
    kInLeft,
    kInRight,
    kOutLeft,
    kOutRight,
    kTempo,
    kResolution,
    kSend,
    kDepth,
    kModAmount,
    kWaveform,
    kFeedback,
    kBoost,
    kSync,
    kTimeEvents,
    kNumPorts
};

inline constexpr float kSilenceDb = -90.0f;  // Boost's minimum: no output at all

// BPM (60..200) as (BPM - 60) / 140, in double, rounded to a float; the
// factory value where the flanger's BPM is the factory one.
float tempo(float bpm);
// Beats per LFO cycle (one of 1..8, 16, 32, 48, 64, 96; other values the
// nearest of those) as the middle of its Resolution zone, or the factory
// value in the factory's zone.
float resolution(float beats);
// Percent (0..100) as value / 100: Send, Depth, Mod Amt (0 is off), FeedBack.
float percent(float value, float fallback);
// 0 sine, 1 triangle, 2 sawtooth (others the nearest) as the middle of its
// Waveform zone, or the factory value for the factory's shape.
float waveform(float shape);
// Output gain in dB (kSilenceDb..+12.04) as the Boost value: 10^(dB/20)/4,
// 0 at the minimum, 1 at the top.
float boost(float decibels);
// The Tempo value with which one LFO cycle lasts its beats at the host's
// `bpm` at `sampleRate` Hz (the flanger's tables assume 44100 Hz); may lie
// outside 0..1.
float syncedTempo(double bpm, double sampleRate);

}  // namespace lv2controls
