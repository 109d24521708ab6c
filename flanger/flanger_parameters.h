// The flanger's eight parameters in one place: their index, the name and
// label the host shows, the factory value, and the constants and zones that
// map a normalized value (0..1 as the host sees it, never clamped) onto the
// flanger's own units. setParameter and the displays both work from here.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>

enum FlangerParameter : std::int32_t {
    kParamTempo,
    kParamResolution,
    kParamSend,
    kParamDepth,
    kParamModAmount,
    kParamWaveform,
    kParamFeedback,
    kParamBoost,
    kNumFlangerParams
};

enum class WaveShape : std::int32_t { none = 0, sine = 1, triangle = 2, saw = 3 };

struct ParameterInfo {
    const char* name;    // one space either side of the words, at most 13 characters
    const char* label;   // 9 characters
    float factoryValue;  // normalized
};

inline constexpr ParameterInfo kParameterInfo[kNumFlangerParams] = {
    {" Tempo ", "   BPM   ", 0.428572f},      {" Resolution ", " note(s) ", 0.8462f},
    {" Send ", "    %    ", 1.0f},            {" Depth ", "    %    ", 0.25f},
    {" Mod Amt ", "    %    ", 0.25f},        {" Waveform ", "   ---   ", 0.0f},
    {" FeedBack ", "   ---   ", 0.5f},        {" 12 dB Boost ", "    dB   ", 0.25f},
};

// 0..7, compared as unsigned so that negative indices are outside too.
constexpr bool isFlangerParameter(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kNumFlangerParams);
}

namespace flangerscale {

inline constexpr double kLowestBpm = 60.0;  // Tempo 0
inline constexpr double kBpmRange = 140.0;  // Tempo 1 is 200 BPM
// beatsPerCycle of each Resolution zone, lowest first.
inline constexpr std::uint32_t kBeatsByZone[] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 48, 64, 96};
inline constexpr int kResolutionZones = 13;
inline constexpr int kWaveformZones = 3;  // sine, triangle, sawtooth
inline constexpr float kBeatStep = static_cast<float>(1.0 / kResolutionZones);  // width of one Resolution zone
inline constexpr float kWaveStep = static_cast<float>(1.0 / kWaveformZones);    // width of one Waveform zone
inline constexpr float kFeedbackScale = 0.99f;  // keeps the feedback gain below 1
inline constexpr float kMaxOutputGain = 4.0f;   // Boost 1.0: four times, +12 dB
inline constexpr double kPercent = 100.0;

static_assert(std::size(kBeatsByZone) == kResolutionZones);

// BPM = 60 + 140 x tempo, rounded to a float.
float bpm(float tempo);

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
