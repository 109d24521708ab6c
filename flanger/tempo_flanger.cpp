#include "flanger/tempo_flanger.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::int32_t kDelayLength = 100;   // samples per delay line
constexpr std::uint32_t kStepFrames = 100;   // frames per LFO step
constexpr std::uint32_t kMaxCycleSeconds = 96;  // 96 beats at 60 BPM
constexpr float kFeedbackScale = 0.99f;     // keeps the feedback gain below 1
constexpr float kMaxOutputGain = 4.0f;      // Boost 1.0: four times, +12 dB
constexpr double kLowestBpm = 60.0;
constexpr double kBpmRange = 140.0;         // Tempo 1.0 is 200 BPM
constexpr std::uint32_t kSecondsPerMinute = 60;

// Factory values of the eight parameters, in parameter order.
constexpr float kDefaults[kNumFlangerParams] = {0.428572f, 0.8462f, 1.0f, 0.25f,
                                                0.25f,     0.0f,    0.5f, 0.25f};

// beatsPerCycle of each Resolution zone, lowest first.
constexpr std::uint32_t kBeatsByZone[] = {1, 2, 3, 4, 5, 6, 7, 8, 16, 32, 48, 64, 96};
constexpr std::uint32_t kResolutionZones = 12;  // zone boundaries at k x beatStep

bool isParameter(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kNumFlangerParams);
}

// The whole part of a delay in samples, toward zero; NaN gives 0 and values
// beyond the 32-bit range the nearest end.
std::int32_t truncateDelay(float samples) {
    if (std::isnan(samples)) return 0;
    if (samples >= 2147483648.0f) return INT32_MAX;
    if (samples <= -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(samples);
}

}  // namespace

FlangerProgram::FlangerProgram()
    : tempo(kDefaults[kParamTempo]),
      resolution(kDefaults[kParamResolution]),
      send(kDefaults[kParamSend]),
      depth(kDefaults[kParamDepth]),
      modAmount(kDefaults[kParamModAmount]),
      waveform(kDefaults[kParamWaveform]),
      feedback(kDefaults[kParamFeedback]),
      boost(kDefaults[kParamBoost]),
      name("Init") {}

float& FlangerProgram::value(std::int32_t index) {
    switch (index) {
        case kParamTempo: return tempo;
        case kParamResolution: return resolution;
        case kParamSend: return send;
        case kParamDepth: return depth;
        case kParamModAmount: return modAmount;
        case kParamWaveform: return waveform;
        case kParamFeedback: return feedback;
        default: return boost;
    }
}

TempoFlanger::TempoFlanger(HostCallback hostCallback)
    : EffectBase(hostCallback, kNumFlangerPrograms, kNumFlangerParams) {
    lfoSampleRate = getSampleRate();
    delayLeft = std::make_unique<DelayLine>(kDelayLength);
    delayRight = std::make_unique<DelayLine>(kDelayLength);
    sineTable = std::make_unique<SineTable>(kStepFrames, kMaxCycleSeconds, lfoSampleRate);
    triangleTable = std::make_unique<TriangleTable>(kStepFrames, kMaxCycleSeconds, lfoSampleRate);
    sawTable = std::make_unique<SawTable>(kStepFrames, kMaxCycleSeconds, lfoSampleRate);
    sampleCounter = 0;
    maxDelay = kDelayLength;
    beatStep = static_cast<float>(1.0 / 13.0);
    waveStep = static_cast<float>(1.0 / 3.0);
    lastWaveShape = 0;
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(kFlangerUniqueId);
    canMono(true);
    canProcessReplacing(true);
    programs = std::make_unique<FlangerProgram[]>(kNumFlangerPrograms);
    setProgram(0);
    suspend();
}

TempoFlanger::~TempoFlanger() {
    programs.reset();
    delayLeft.reset();
    delayRight.reset();
    sineTable.reset();
    triangleTable.reset();
    sawTable.reset();
}

void TempoFlanger::setProgram(std::int32_t program) {
    if (program < 0 || program >= kNumFlangerPrograms) return;
    currentProgram = program;
    if (program == 0) {
        tempo = kDefaults[kParamTempo];
        resolution = kDefaults[kParamResolution];
        send = kDefaults[kParamSend];
        depth = kDefaults[kParamDepth];
        modAmount = kDefaults[kParamModAmount];
        waveform = kDefaults[kParamWaveform];
        feedback = kDefaults[kParamFeedback];
        boost = kDefaults[kParamBoost];
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) setParameter(i, getParameter(i));
    } else {
        FlangerProgram& stored = programs[static_cast<std::size_t>(program)];
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) setParameter(i, stored.value(i));
    }
}

void TempoFlanger::setParameter(std::int32_t index, float value) {
    if (!isParameter(index)) return;
    programs[static_cast<std::size_t>(currentProgram)].value(index) = value;
    switch (index) {
        case kParamTempo: {
            tempo = value;
            const auto bpm = static_cast<float>(kLowestBpm + kBpmRange * static_cast<double>(value));
            lfoRate = lfoRateFromBpm(bpm, beatsPerCycle);
            rebuildCurrentTable();
            break;
        }
        case kParamResolution: {
            resolution = value;
            updateBeatsPerCycle();
            const auto bpm = static_cast<float>(kLowestBpm + kBpmRange * static_cast<double>(tempo));
            lfoRate = lfoRateFromBpm(bpm, beatsPerCycle);
            rebuildCurrentTable();
            break;
        }
        case kParamSend: send = value; break;
        case kParamDepth:
            depth = value;
            depthSamples = static_cast<float>(static_cast<double>(static_cast<float>(maxDelay)) *
                                              static_cast<double>(value));
            if (modAmount != 0.0f) {
                lfoCenter = clampCenter(modSamples, depthSamples);
                rebuildCurrentTable();
            } else {
                const std::int32_t delay = truncateDelay(depthSamples);
                delayLeft->setDelay(delay);
                delayRight->setDelay(delay);
            }
            break;
        case kParamModAmount:
            modAmount = value;
            modSamples = static_cast<float>(static_cast<double>(static_cast<float>(maxDelay)) *
                                                static_cast<double>(value) / 2.0 -
                                            1.0);
            lfoCenter = clampCenter(modSamples, lfoCenter);
            rebuildCurrentTable();
            break;
        case kParamWaveform:
            waveform = value;
            if (value <= waveStep) {
                waveShape = 1;
            } else if (static_cast<double>(value) <= 2.0 * static_cast<double>(waveStep)) {
                waveShape = 2;
            } else if (value <= 1.0f) {
                waveShape = 3;
            }
            if (waveShape != lastWaveShape) {
                rebuildCurrentTable();
                lastWaveShape = waveShape;
            }
            break;
        case kParamFeedback:
            feedback = value;
            feedbackGain = static_cast<float>(static_cast<double>(value) * static_cast<double>(kFeedbackScale));
            break;
        default:
            boost = value;
            outputGain = static_cast<float>(static_cast<double>(value) * static_cast<double>(kMaxOutputGain));
            break;
    }
}

float TempoFlanger::getParameter(std::int32_t index) {
    switch (index) {
        case kParamTempo: return tempo;
        case kParamResolution: return resolution;
        case kParamSend: return send;
        case kParamDepth: return depth;
        case kParamModAmount: return modAmount;
        case kParamWaveform: return waveform;
        case kParamFeedback: return feedback;
        case kParamBoost: return boost;
        default: return 0.0f;
    }
}

void TempoFlanger::updateBeatsPerCycle() {
    const auto r = static_cast<double>(resolution);
    if (!(r <= 1.0)) return;  // above the range, or NaN: unchanged
    std::uint32_t zone = 0;
    // The zone boundaries are the exact products k x beatStep, not their
    // nearest floats.
    for (std::uint32_t k = 1; k <= kResolutionZones; ++k) {
        if (r >= static_cast<double>(k) * static_cast<double>(beatStep)) zone = k;
    }
    beatsPerCycle = kBeatsByZone[zone];
}

float TempoFlanger::lfoRateFromBpm(float bpm, std::uint32_t beats) const {
    return static_cast<float>(static_cast<double>(bpm) / static_cast<double>(beats * kSecondsPerMinute));
}

float TempoFlanger::clampCenter(float amount, float center) const {
    const auto top = static_cast<double>(maxDelay);
    const auto half = static_cast<double>(maxDelay / 2);
    if (static_cast<double>(center) > half) {
        const auto sum = static_cast<float>(static_cast<double>(amount) + static_cast<double>(center));
        if (static_cast<double>(sum) > top) {
            const auto excess = static_cast<float>(static_cast<double>(sum) - top);
            return static_cast<float>(static_cast<double>(center) - static_cast<double>(excess));
        }
        return center;
    }
    if (amount > center) {
        const auto gap = static_cast<float>(static_cast<double>(amount) - static_cast<double>(center));
        return static_cast<float>(static_cast<double>(gap) + static_cast<double>(center));
    }
    return center;
}

void TempoFlanger::rebuildCurrentTable() {
    switch (waveShape) {
        case 1: sineTable->build(modSamples, lfoRate, lfoCenter); break;
        case 2: triangleTable->build(modSamples, lfoRate, lfoCenter); break;
        case 3: sawTable->build(modSamples, lfoRate, lfoCenter); break;
        default: break;
    }
}
