// The audio side of TempoFlanger: the frame loop, switching off and on, and
// the rounding of LFO values to whole-sample delays.
//
// A block runs in spans between the LFO steps that change the delay; each
// span goes through the comb at the delay in force, in one piece.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/subnormal_flush.h"
#include "flanger/tempo_flanger.h"

namespace {

constexpr std::int32_t kAlignedBlockFrames = 16;

}  // namespace

std::int32_t TempoFlanger::roundDelay(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0f) return INT32_MAX;
    if (x <= -2147483648.0f) return INT32_MIN;
    const auto whole = static_cast<std::int32_t>(x);
    const auto half = static_cast<float>(static_cast<double>(whole) + 0.5);
    if (whole >= 0 && x > half) return whole + 1;
    return whole;
}

bool TempoFlanger::stepLfo() {
    sineTable->isDue(sampleCounter);
    switch (waveShape) {
        case WaveShape::sine: currentDelay = roundDelay(sineTable->next()); break;
        case WaveShape::triangle: currentDelay = roundDelay(triangleTable->next()); break;
        case WaveShape::saw: currentDelay = roundDelay(sawTable->next()); break;
        case WaveShape::none: break;
    }
    // The delay the lines would take: setDelay limits it to 0..length - 1.
    return std::clamp(currentDelay, 0, comb->length() - 1) != comb->delay();
}

void TempoFlanger::run(float** inputs, float** outputs, std::int32_t frames, bool accumulate) {
    if (frames <= 0) return;
    // Chunks of four counted from the block: moving the lines costs about as
    // much as a part chunk, so only a block long enough saves by it.
    if (frames >= kAlignedBlockFrames) comb->alignToChunk();
    const SubnormalFlush flush;
    const float send = working(kParamSend);
    auto render = [&](std::int32_t at, std::int32_t count) {
        comb->process(StereoSpan{inputs[0] + at, inputs[1] + at, outputs[0] + at, outputs[1] + at, count},
                      feedbackGain, send, outputGain, accumulate);
    };

    // Frames [done - pending, done) wait to be rendered at the delay in
    // force; they go in one piece when the delay is about to change, or at
    // the end.
    std::int32_t pending = 0;
    for (std::int32_t done = 0; done < frames;) {
        // Up to the next LFO step, which comes first in its frame.
        std::int32_t span = frames - done;
        if (working(kParamModAmount) != 0.0f) {
            if (sineTable->framesUntilDue(sampleCounter) == 0 && stepLfo()) {
                render(done - pending, pending);
                pending = 0;
                comb->setDelay(currentDelay);
            }
            span = static_cast<std::int32_t>(
                std::min<std::uint32_t>(static_cast<std::uint32_t>(span), sineTable->framesUntilDue(sampleCounter)));
            sampleCounter += static_cast<std::uint32_t>(span);
        }
        pending += span;
        done += span;
    }
    render(frames - pending, pending);
}

void TempoFlanger::process(float** inputs, float** outputs, std::int32_t frames) {
    run(inputs, outputs, frames, true);
}

void TempoFlanger::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    run(inputs, outputs, frames, false);
}

void TempoFlanger::suspend() {
    comb->clear();
    sineTable->clear();
    triangleTable->clear();
    sawTable->clear();
}

void TempoFlanger::resume() {
    comb->clear();
    sineTable->build(modSamples, lfoRate, lfoCenter);
    triangleTable->build(modSamples, lfoRate, lfoCenter);
    sawTable->build(modSamples, lfoRate, lfoCenter);
}
