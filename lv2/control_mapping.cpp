#include "lv2/control_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lv2controls {
namespace {

constexpr double kLowestBpm = 60.0;
constexpr double kBpmRange = 140.0;
constexpr double kHighestBpm = kLowestBpm + kBpmRange;
constexpr double kDefaultBpm = 120.0;
constexpr double kTableRate = 44100.0;   // Hz the flanger's LFO tables assume
constexpr float kBeats[] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 48, 64, 96};
constexpr int kResolutionZones = 13;     // the flanger's zones are 1/13 wide
constexpr int kWaveformZones = 3;
constexpr float kDefaultBeats = 64.0f;
constexpr float kDefaultBoostDb = 0.0f;
constexpr double kMaxGain = 4.0;         // Boost 1: four times

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
        if (std::fabs(kBeats[k] - wanted) < std::fabs(kBeats[zone] - wanted)) zone = k;
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
