#include "flanger/flanger_engine.h"

#include <cmath>

#include "flanger/flanger_parameters.h"

namespace {

using flangerfacts::kDelayLength;
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

FlangerEngine::FlangerEngine()
    : comb(std::make_unique<StereoComb>(kDelayLength)),
      sineTable(std::make_unique<SineTable>(flangerfacts::kStepFrames, flangerfacts::kMaxCycleSeconds,
                                            flangerfacts::kTableRate)),
      triangleTable(std::make_unique<TriangleTable>(flangerfacts::kStepFrames, flangerfacts::kMaxCycleSeconds,
                                                    flangerfacts::kTableRate)),
      sawTable(std::make_unique<SawTable>(flangerfacts::kStepFrames, flangerfacts::kMaxCycleSeconds,
                                          flangerfacts::kTableRate)),
      programs(std::make_unique<FlangerProgram[]>(flangerfacts::kNumPrograms)) {
    reset();
}

void FlangerEngine::reset() {
    // Every derived quantity starts at zero, as loading program 0 expects
    // (a shape of none builds nothing on the way).
    for (float& value : values) value = 0.0f;
    depthSamples = modSamples = lfoRate = lfoCenter = feedbackGain = outputGain = 0.0f;
    beatsPerCycle = 0;
    waveShape = lastWaveShape = WaveShape::none;
    currentDelay = 0;
    sampleCounter = 0;
    lfoSampleRate = flangerfacts::kTableRate;
    maxDelay = kDelayLength;
    beatStep = flangerscale::kBeatStep;
    waveStep = flangerscale::kWaveStep;
    songLocked = songByBeat = false;
    song = {};
    for (std::int32_t p = 0; p < flangerfacts::kNumPrograms; ++p) programs[static_cast<std::size_t>(p)] = {};
    comb->setDelay(comb->length() - 1);
    for (LfoTable* table : {static_cast<LfoTable*>(sineTable.get()), static_cast<LfoTable*>(triangleTable.get()),
                            static_cast<LfoTable*>(sawTable.get())}) {
        table->restartClock();
    }
    setProgram(0);
    suspend();
}

FlangerProgram& FlangerEngine::programRecord(std::int32_t program) {
    if (program < 0 || program >= flangerfacts::kNumPrograms) program = currentProgram;
    return programs[static_cast<std::size_t>(program)];
}

void FlangerEngine::setProgram(std::int32_t program) {
    if (program < 0 || program >= flangerfacts::kNumPrograms) return;
    currentProgram = program;
    if (program == 0) {
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) values[i] = kParameterInfo[i].factoryValue;
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) setParameter(i, values[i]);
    } else {
        const FlangerProgram& stored = programs[static_cast<std::size_t>(program)];
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) setParameter(i, stored.values[i]);
    }
}

void FlangerEngine::setParameter(std::int32_t index, float value) {
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

float FlangerEngine::getParameter(std::int32_t index) const { return isFlangerParameter(index) ? values[index] : 0.0f; }

float FlangerEngine::lfoRateFromBpm(float bpm, std::uint32_t beats) const {
    return static_cast<float>(static_cast<double>(bpm) / static_cast<double>(beats * kSecondsPerMinute));
}

float FlangerEngine::clampCenter(float amount, float center) const {
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

void FlangerEngine::rebuildCurrentTable() {
    switch (waveShape) {
        case WaveShape::sine: sineTable->build(modSamples, lfoRate, lfoCenter); break;
        case WaveShape::triangle: triangleTable->build(modSamples, lfoRate, lfoCenter); break;
        case WaveShape::saw: sawTable->build(modSamples, lfoRate, lfoCenter); break;
        case WaveShape::none: break;
    }
}
