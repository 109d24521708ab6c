// How a normalized parameter value (0..1 as the host sees it, never
// clamped) becomes the flanger's own units. setParameter and the displays
// both work from here.
#pragma once

#include <cstdint>
#include <optional>

#include "flanger/flanger_facts.h"

namespace flangerscale {

// beatsPerCycle of a Resolution value: zone k (from k x beatStep, the exact
// product, up to the next) of 1..8, 16, 32, 48, 64, 96; nothing above 1 or
// for NaN.
std::optional<std::uint32_t> beatsPerCycle(float resolution, float beatStep);

// The shape of a Waveform value: up to waveStep sine, up to 2 x waveStep
// triangle, up to 1 sawtooth; nothing above 1 or for NaN.
std::optional<WaveShape> waveShape(float waveform, float waveStep);

// value x 100 rounded to a float: Send, Depth and Mod Amt as percentages.
float percent(float value);

// feedback x 0.99 (as a float, 0.99000001) rounded: the feedback gain.
float feedbackGain(float feedback);

}  // namespace flangerscale
