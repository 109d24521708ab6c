#include "flanger/flanger_parameters.h"

namespace flangerscale {
float bpm(float tempo) { return static_cast<float>(kLowestBpm + kBpmRange * static_cast<double>(tempo)); }

std::optional<std::uint32_t> beatsPerCycle(float resolution, float beatStep) {
    const auto r = static_cast<double>(resolution);
    if (!(r <= 1.0)) return std::nullopt;
    std::uint32_t zone = 0;
    // Boundaries at k x beatStep, k = 1..12.
    for (std::uint32_t k = 1; k < static_cast<std::uint32_t>(kResolutionZones); ++k) {
        if (r >= static_cast<double>(k) * static_cast<double>(beatStep)) zone = k;
    }
    return kBeatsByZone[zone];
}

std::optional<WaveShape> waveShape(float waveform, float waveStep) {
    if (waveform <= waveStep) return WaveShape::sine;
    if (static_cast<double>(waveform) <= 2.0 * static_cast<double>(waveStep)) return WaveShape::triangle;
    if (waveform <= 1.0f) return WaveShape::saw;
    return std::nullopt;
}

float percent(float value) { return static_cast<float>(static_cast<double>(value) * kPercent); }

float feedbackGain(float feedback) {
    return static_cast<float>(static_cast<double>(feedback) * static_cast<double>(kFeedbackScale));
}

}  // namespace flangerscale
