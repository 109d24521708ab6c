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
constexpr double kDefaultBpm = 120.0;
constexpr double kTableRate = 44100.0;  // Hz the flanger's LFO tables assume
constexpr float kDefaultBeats = 64.0f;
constexpr float kDefaultBoostDb = 0.0f;
constexpr double kMaxGain = flangerscale::kMaxOutputGain;

double within(double value, double low, double high, double fallback) {
    return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

}  // namespace

float tempo(float bpm) {
    const double clamped = within(bpm, kLowestBpm, kHighestBpm, kDefaultBpm);
    return static_cast<float>((clamped - kLowestBpm) / kBpmRange);
}

float resolution(float beats) {
    const float wanted = std::isnan(beats) ? kDefaultBeats : beats;
    int zone = 0;
    for (int k = 1; k < kResolutionZones; ++k) {
        const auto candidate = static_cast<float>(kBeatsByZone[k]);
        if (std::fabs(candidate - wanted) < std::fabs(static_cast<float>(kBeatsByZone[zone]) - wanted)) zone = k;
    }
    return static_cast<float>((zone + 0.5) / kResolutionZones);
}

float percent(float value, float fallback) { return static_cast<float>(within(value, 0.0, 100.0, fallback) / 100.0); }

float waveform(float shape) {
    const auto zone = static_cast<int>(std::lround(within(shape, 0.0, kWaveformZones - 1, 0.0)));
    return static_cast<float>((zone + 0.5) / kWaveformZones);
}

float boost(float decibels) {
    const double db = within(decibels, kSilenceDb, 20.0 * std::log10(kMaxGain), kDefaultBoostDb);
    if (db <= kSilenceDb) return 0.0f;
    return static_cast<float>(std::min(1.0, std::pow(10.0, db / 20.0) / kMaxGain));
}

float syncedTempo(double bpm, double sampleRate) {
    return static_cast<float>((bpm * kTableRate / sampleRate - kLowestBpm) / kBpmRange);
}

}  // namespace lv2controls
