// The audio side of TempoFlanger: the frame loop, switching off and on, and
// the rounding of LFO values to whole-sample delays.
//
// The loop runs in spans between LFO steps, and each span in segments up to
// the next wrap of a delay line position, so the inner loop has no branch per
// frame. Frames whose feedback samples were all stored before them (a delay
// of at least four frames) are taken four at a time, both channels together,
// with exactly the arithmetic of taking them one by one: peek, tick, output.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "dsp/subnormal_flush.h"
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include "flanger/tempo_flanger.h"

namespace {

struct Gains {
    double feedback;
    double send;
    double output;
};

float stored(double feedbackSample, double input, const Gains& gains) {
    return SubnormalFlush::flushed(static_cast<float>(feedbackSample * gains.feedback + input));
}

template <bool Accumulate>
float mixed(double wet, double input, float previous, const Gains& gains) {
    const double sample = (wet * gains.send + input) * gains.output;
    if constexpr (Accumulate) {
        return SubnormalFlush::flushed(static_cast<float>(sample + static_cast<double>(previous)));
    } else {
        return SubnormalFlush::flushed(static_cast<float>(sample));
    }
}

#if defined(__GNUC__)
#define TF_INLINE [[gnu::always_inline]] inline
#else
#define TF_INLINE inline
#endif

// Where the lines are read and written during a segment, and what goes in
// and out. At delay 0 the read and the write position are the same.
struct Segment {
    const float* readLeft;
    const float* readRight;
    float* writeLeft;
    float* writeRight;
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
    std::int32_t frames;
    bool undelayed;  // delay 0: the wet sample is the one just stored
    bool vector;     // four frames at a time are independent of each other
};

#if TF_HARDWARE_FLUSH && defined(__GNUC__)
#define TF_VECTOR_FRAMES 1
// The vector helpers are always inlined, so no vector crosses a call and the
// note about the ABI of 32-byte vectors without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
#else
#define TF_VECTOR_FRAMES 0
#endif

#define TF_COMB_AVX2 0
namespace portable {
#include "flanger/comb_frames.inc"
}  // namespace portable
#undef TF_COMB_AVX2

#if TF_VECTOR_FRAMES && (defined(__x86_64__) || defined(__i386__))
#define TF_AVX2_KERNEL 1
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#define TF_COMB_AVX2 1
namespace avx2 {
#include "flanger/comb_frames.inc"
}  // namespace avx2
#undef TF_COMB_AVX2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#else
#define TF_AVX2_KERNEL 0
#endif

// The frame loop compiled twice: for any processor of the target, and for
// x86 processors with AVX2, chosen once at run time. The arithmetic is the
// same IEEE double arithmetic either way (no contraction), so the results are
// the same bits; the wider vectors only take more at a time.
using Kernel = void (*)(const Segment&, const Gains&);


template <bool Accumulate>
Kernel bestKernel() {
#if TF_AVX2_KERNEL
    static const Kernel chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0 ? avx2::combFrames<Accumulate> : portable::combFrames<Accumulate>;
    }();
    return chosen;
#else
    return portable::combFrames<Accumulate>;
#endif
}

// Arrays that overlap in part, not exactly, cannot be taken four frames at a
// time; the frame loop then takes them one by one.
bool overlapsInPart(const float* a, const float* b, std::int32_t frames) {
    const std::less<const float*> before;
    return a != b && before(a, b + frames) && before(b, a + frames);
}

bool coincideExactlyOrNotAtAll(float** inputs, float** outputs, std::int32_t frames) {
    const float* arrays[] = {inputs[0], inputs[1], outputs[0], outputs[1]};
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            if (overlapsInPart(arrays[a], arrays[b], frames)) return false;
        }
    }
    return true;
}

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
        case 1: currentDelay = roundDelay(sineTable->next()); break;
        case 2: currentDelay = roundDelay(triangleTable->next()); break;
        case 3: currentDelay = roundDelay(sawTable->next()); break;
        default: break;
    }
    // The delay the lines would take: setDelay limits it to 0..length - 1.
    const std::int32_t delay = std::clamp(currentDelay, 0, delayLeft->size() - 1);
    return delay != delayLeft->delay();
}

template <bool Accumulate>
void TempoFlanger::run(float** inputs, float** outputs, std::int32_t frames) {
    if (frames <= 0) return;
    const SubnormalFlush flush;
    const Gains gains{static_cast<double>(feedbackGain), static_cast<double>(send), static_cast<double>(outputGain)};
    const Kernel kernel = bestKernel<Accumulate>();
    const bool vectorOk = coincideExactlyOrNotAtAll(inputs, outputs, frames);

    // Frames [done - pending, done) wait to be processed at the delay in
    // force; they go as one pass (split only where a line position wraps)
    // when the delay is about to change, or at the end. Both lines always
    // share their positions and delay.
    std::int32_t pending = 0;
    auto processPending = [&](std::int32_t end) {
        for (std::int32_t at = end - pending; at < end;) {
            const std::int32_t delay = delayLeft->delay();
            const std::int32_t length = std::min(end - at, delayLeft->contiguous());
            const Segment segment{delayLeft->readPosition(),  delayRight->readPosition(), delayLeft->writePosition(),
                                  delayRight->writePosition(), inputs[0] + at,           inputs[1] + at,
                                  outputs[0] + at,             outputs[1] + at,          length,
                                  delay == 0,                  vectorOk && (delay == 0 || delay >= 4)};
            kernel(segment, gains);
            delayLeft->advance(length);
            delayRight->advance(length);
            at += length;
        }
        pending = 0;
    };

    for (std::int32_t done = 0; done < frames;) {
        // Up to the next LFO step, which comes first in its frame.
        std::int32_t span = frames - done;
        if (modAmount != 0.0f) {
            if (sineTable->framesUntilDue(sampleCounter) == 0 && stepLfo()) {
                processPending(done);
                delayLeft->setDelay(currentDelay);
                delayRight->setDelay(currentDelay);
            }
            span = static_cast<std::int32_t>(
                std::min<std::uint32_t>(static_cast<std::uint32_t>(span), sineTable->framesUntilDue(sampleCounter)));
            sampleCounter += static_cast<std::uint32_t>(span);
        }
        pending += span;
        done += span;
    }
    processPending(frames);
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
