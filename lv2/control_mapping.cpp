#include "lv2/control_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "flanger/flanger_parameters.h"

namespace lv2controls {
namespace {

using flangerscale::kBeatsByZone;
using flangerscale::kBpmRange;
using flangerscale::kLowestBpm;
using flangerscale::kResolutionZones;
using flangerscale::kWaveformZones;

constexpr double kHighestBpm = kLowestBpm + kBpmRange;
constexpr double kTableRate = flangerfacts::kTableRate;
constexpr double kMaxGain = flangerscale::kMaxOutputGain;

double within(double value, double low, double high, double fallback) {
    return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

float zoneMiddle(int zone, int zones) { return static_cast<float>((zone + 0.5) / zones); }

}  // namespace

float tempo(float bpm) {
    const double clamped = within(bpm, kLowestBpm, kHighestBpm, flangerscale::kLv2DefaultTempo);
    const auto value = static_cast<float>((clamped - kLowestBpm) / kBpmRange);
    const float factory = factoryValue(kParamTempo);
    return flangerscale::bpm(value) == flangerscale::bpm(factory) ? factory : value;
}

float resolution(float beats) {
    const double wanted = std::isnan(beats) ? flangerscale::kLv2DefaultResolution : static_cast<double>(beats);
    int zone = 0;
    for (int k = 1; k < kResolutionZones; ++k) {
        if (std::fabs(kBeatsByZone[k] - wanted) < std::fabs(kBeatsByZone[zone] - wanted)) zone = k;
    }
    const float factory = factoryValue(kParamResolution);
    if (flangerscale::beatsPerCycle(factory, flangerscale::kBeatStep) == kBeatsByZone[zone]) return factory;
    return zoneMiddle(zone, kResolutionZones);
}

float percent(float value, float fallback) { return static_cast<float>(within(value, 0.0, 100.0, fallback) / 100.0); }

float waveform(float shape) {
    const auto zone = static_cast<int>(std::lround(within(shape, 0.0, kWaveformZones - 1, 0.0)));
    const float middle = zoneMiddle(zone, kWaveformZones);
    const float factory = factoryValue(kParamWaveform);
    const auto step = flangerscale::kWaveStep;
    return flangerscale::waveShape(factory, step) == flangerscale::waveShape(middle, step) ? factory : middle;
}

float boost(float decibels) {
    const double db = within(decibels, kSilenceDb, 20.0 * std::log10(kMaxGain), flangerscale::kLv2DefaultBoost);
    if (db <= kSilenceDb) return 0.0f;
    return static_cast<float>(std::min(1.0, std::pow(10.0, db / 20.0) / kMaxGain));
}

float syncedTempo(double bpm, double sampleRate) {
    return static_cast<float>((bpm * kTableRate / sampleRate - kLowestBpm) / kBpmRange);
}

}  // namespace lv2controls
