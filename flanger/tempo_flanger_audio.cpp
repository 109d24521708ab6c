// The audio side of TempoFlanger: the frame loop, switching off and on, and
// the rounding of LFO values to whole-sample delays.
#include <cmath>

#include "flanger/tempo_flanger.h"

std::int32_t TempoFlanger::roundDelay(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0f) return INT32_MAX;
    if (x <= -2147483648.0f) return INT32_MIN;
    const auto whole = static_cast<std::int32_t>(x);
    const auto half = static_cast<float>(static_cast<double>(whole) + 0.5);
    if (whole >= 0 && x > half) return whole + 1;
    return whole;
}

template <bool Accumulate>
void TempoFlanger::run(float** inputs, float** outputs, std::int32_t frames) {
    if (frames <= 0) return;
    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* outLeft = outputs[0];
    float* outRight = outputs[1];
    const auto feedback = static_cast<double>(feedbackGain);
    const auto wetLevel = static_cast<double>(send);
    const auto gain = static_cast<double>(outputGain);

    for (std::int32_t i = 0; i < frames; ++i) {
        if (modAmount != 0.0f) {
            if (sineTable->isDue(sampleCounter)) {
                switch (waveShape) {
                    case 1: currentDelay = roundDelay(sineTable->next()); break;
                    case 2: currentDelay = roundDelay(triangleTable->next()); break;
                    case 3: currentDelay = roundDelay(sawTable->next()); break;
                    default: break;
                }
                delayLeft->setDelay(currentDelay);
                delayRight->setDelay(currentDelay);
            }
            ++sampleCounter;
        }
        // Both inputs are read before anything is written: the host may pass
        // the same arrays in and out.
        const auto left = static_cast<double>(inLeft[i]);
        const auto right = static_cast<double>(inRight[i]);
        const auto feedLeft = static_cast<double>(delayLeft->peek());
        const auto feedRight = static_cast<double>(delayRight->peek());
        const auto wetLeft = static_cast<double>(delayLeft->tick(static_cast<float>(feedLeft * feedback + left)));
        const auto wetRight = static_cast<double>(delayRight->tick(static_cast<float>(feedRight * feedback + right)));
        if constexpr (Accumulate) {
            outLeft[i] = static_cast<float>((wetLeft * wetLevel + left) * gain + static_cast<double>(outLeft[i]));
            outRight[i] = static_cast<float>((wetRight * wetLevel + right) * gain + static_cast<double>(outRight[i]));
        } else {
            outLeft[i] = static_cast<float>((wetLeft * wetLevel + left) * gain);
            outRight[i] = static_cast<float>((wetRight * wetLevel + right) * gain);
        }
    }
}

void TempoFlanger::process(float** inputs, float** outputs, std::int32_t frames) {
    run<true>(inputs, outputs, frames);
}

void TempoFlanger::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    run<false>(inputs, outputs, frames);
}

void TempoFlanger::suspend() {
    delayLeft->clear();
    delayRight->clear();
    sineTable->clear();
    triangleTable->clear();
    sawTable->clear();
}

void TempoFlanger::resume() {
    delayLeft->clear();
    delayRight->clear();
    sineTable->build(modSamples, lfoRate, lfoCenter);
    triangleTable->build(modSamples, lfoRate, lfoCenter);
    sawTable->build(modSamples, lfoRate, lfoCenter);
}
