// What the flanger is, for every edition of it (the 1.0 library, the LV2
// bundle and the bundle's descriptions, which CMake reads from this file):
// its identity, its channels and scale, its eight parameters with their
// names, labels and factory values, and the zones that map a normalized
// value (0..1 as a host sees it, never clamped) onto the flanger's units.
//
// The lines `inline constexpr ... kLv2...` are read by cmake/FlangerFacts.cmake:
// keep each on one line, as `name = number;`.
#pragma once

#include <cstdint>
#include <iterator>

#include "interface/effect_record.h"

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

constexpr float factoryValue(FlangerParameter parameter) { return kParameterInfo[parameter].factoryValue; }

namespace flangerfacts {

inline constexpr std::int32_t kUniqueId = fourCharCode("Qz7v");
inline constexpr std::int32_t kInputs = 2;  // left and right
inline constexpr std::int32_t kOutputs = 2;
inline constexpr std::int32_t kNumPrograms = 16;
inline constexpr std::int32_t kDelayLength = 100;      // samples per delay line: the delay range
inline constexpr std::uint32_t kStepFrames = 100;      // frames per LFO step
inline constexpr std::uint32_t kMaxCycleSeconds = 96;  // 96 beats at 60 BPM
// Hz the LFO tables are made for, whatever rate the host runs at: at other
// rates a cycle lasts 44100 / rate times its beats.
inline constexpr float kTableRate = 44100.0f;

}  // namespace flangerfacts

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
constexpr float bpm(float tempo) { return static_cast<float>(kLowestBpm + kBpmRange * static_cast<double>(tempo)); }

// The zone (0..zones - 1) of a value from 0 to 1, zone k starting at k x
// step (the exact product); -1 above 1 or for NaN.
constexpr int zoneOf(float value, float step, int zones) {
    const auto v = static_cast<double>(value);
    if (!(v <= 1.0)) return -1;
    int zone = 0;
    for (int k = 1; k < zones; ++k) {
        if (v >= static_cast<double>(k) * static_cast<double>(step)) zone = k;
    }
    return zone;
}

// The factory values in the LV2 edition's units: its controls' defaults.
inline constexpr double kLv2DefaultTempo = 120.000076;  // BPM
inline constexpr double kLv2DefaultResolution = 64;     // beats per cycle
inline constexpr double kLv2DefaultSend = 100;          // percent
inline constexpr double kLv2DefaultDepth = 25;          // percent
inline constexpr double kLv2DefaultModAmount = 25;      // percent
inline constexpr double kLv2DefaultWaveform = 0;        // 0 sine, 1 triangle, 2 sawtooth
inline constexpr double kLv2DefaultFeedback = 50;       // percent
inline constexpr double kLv2DefaultBoost = 0;           // dB

static_assert(static_cast<float>(kLv2DefaultTempo) == bpm(factoryValue(kParamTempo)));
static_assert(kBeatsByZone[zoneOf(factoryValue(kParamResolution), kBeatStep, kResolutionZones)] ==
              kLv2DefaultResolution);
static_assert(factoryValue(kParamSend) * kPercent == kLv2DefaultSend);
static_assert(factoryValue(kParamDepth) * kPercent == kLv2DefaultDepth);
static_assert(factoryValue(kParamModAmount) * kPercent == kLv2DefaultModAmount);
static_assert(factoryValue(kParamWaveform) <= kWaveStep && kLv2DefaultWaveform == 0.0);  // sine
static_assert(factoryValue(kParamFeedback) * kPercent == kLv2DefaultFeedback);
static_assert(factoryValue(kParamBoost) * kMaxOutputGain == 1.0f && kLv2DefaultBoost == 0.0);  // unity: 0 dB

}  // namespace flangerscale
