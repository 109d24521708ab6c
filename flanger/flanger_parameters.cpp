#include "flanger/flanger_parameters.h"

namespace flangerscale {

std::optional<std::uint32_t> beatsPerCycle(float resolution, float beatStep) {
    const int zone = zoneOf(resolution, beatStep, kResolutionZones);
    if (zone < 0) return std::nullopt;
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
