#include "flanger/tempo_flanger.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::int32_t kDelayLength = 100;      // samples per delay line
constexpr std::uint32_t kStepFrames = 100;      // frames per LFO step
constexpr std::uint32_t kMaxCycleSeconds = 96;  // 96 beats at 60 BPM
constexpr std::uint32_t kSecondsPerMinute = 60;

// The whole part of a delay in samples, toward zero; NaN gives 0 and values
// beyond the 32-bit range the nearest end.
std::int32_t truncateDelay(float samples) {
    if (std::isnan(samples)) return 0;
    if (samples >= 2147483648.0f) return INT32_MAX;
    if (samples <= -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(samples);
}

}  // namespace

FlangerProgram::FlangerProgram() : name("Init") {
    for (std::int32_t i = 0; i < kNumFlangerParams; ++i) values[i] = kParameterInfo[i].factoryValue;
}

TempoFlanger::TempoFlanger(HostCallback hostCallback)
    : EffectBase(hostCallback, kNumFlangerPrograms, kNumFlangerParams) {
    lfoSampleRate = getSampleRate();
    comb = std::make_unique<StereoComb>(kDelayLength);
    sineTable = std::make_unique<SineTable>(kStepFrames, kMaxCycleSeconds, lfoSampleRate);
    triangleTable = std::make_unique<TriangleTable>(kStepFrames, kMaxCycleSeconds, lfoSampleRate);
    sawTable = std::make_unique<SawTable>(kStepFrames, kMaxCycleSeconds, lfoSampleRate);
    sampleCounter = 0;
    maxDelay = kDelayLength;
    beatStep = flangerscale::kBeatStep;
    waveStep = flangerscale::kWaveStep;
    lastWaveShape = WaveShape::none;
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
    comb.reset();
    sineTable.reset();
    triangleTable.reset();
    sawTable.reset();
}

void TempoFlanger::setProgram(std::int32_t program) {
    if (program < 0 || program >= kNumFlangerPrograms) return;
    currentProgram = program;
    if (program == 0) {
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) values[i] = kParameterInfo[i].factoryValue;
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) setParameter(i, values[i]);
    } else {
        const FlangerProgram& stored = programs[static_cast<std::size_t>(program)];
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) setParameter(i, stored.values[i]);
    }
}

void TempoFlanger::setParameter(std::int32_t index, float value) {
    if (!isFlangerParameter(index)) return;
    programs[static_cast<std::size_t>(currentProgram)].values[index] = value;
    values[index] = value;
    switch (index) {
        case kParamTempo:
            lfoRate = lfoRateFromBpm(flangerscale::bpm(value), beatsPerCycle);
            rebuildCurrentTable();
            break;
        case kParamResolution:
            if (const auto beats = flangerscale::beatsPerCycle(value, beatStep)) beatsPerCycle = *beats;
            lfoRate = lfoRateFromBpm(flangerscale::bpm(working(kParamTempo)), beatsPerCycle);
            rebuildCurrentTable();
            break;
        case kParamSend: break;
        case kParamDepth:
            depthSamples = static_cast<float>(static_cast<double>(static_cast<float>(maxDelay)) *
                                              static_cast<double>(value));
            if (working(kParamModAmount) != 0.0f) {
                lfoCenter = clampCenter(modSamples, depthSamples);
                rebuildCurrentTable();
            } else {
                comb->setDelay(truncateDelay(depthSamples));
            }
            break;
        case kParamModAmount:
            modSamples = static_cast<float>(static_cast<double>(static_cast<float>(maxDelay)) *
                                                static_cast<double>(value) / 2.0 -
                                            1.0);
            lfoCenter = clampCenter(modSamples, lfoCenter);
            rebuildCurrentTable();
            break;
        case kParamWaveform:
            if (const auto shape = flangerscale::waveShape(value, waveStep)) waveShape = *shape;
            if (waveShape != lastWaveShape) {
                rebuildCurrentTable();
                lastWaveShape = waveShape;
            }
            break;
        case kParamFeedback: feedbackGain = flangerscale::feedbackGain(value); break;
        default:
            outputGain = static_cast<float>(static_cast<double>(value) *
                                            static_cast<double>(flangerscale::kMaxOutputGain));
            break;
    }
}

float TempoFlanger::getParameter(std::int32_t index) { return isFlangerParameter(index) ? values[index] : 0.0f; }

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
        case WaveShape::sine: sineTable->build(modSamples, lfoRate, lfoCenter); break;
        case WaveShape::triangle: triangleTable->build(modSamples, lfoRate, lfoCenter); break;
        case WaveShape::saw: sawTable->build(modSamples, lfoRate, lfoCenter); break;
        case WaveShape::none: break;
    }
}
