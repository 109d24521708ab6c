// The audio side of TempoFlanger: the frame loop, switching off and on, and
// the rounding of LFO values to whole-sample delays.
//
// The loop runs in spans between LFO steps. Within a span, frames whose
// feedback samples were all stored before them (a delay of 0 or at least four
// frames) are taken four at a time, both channels together, with exactly the
// arithmetic of taking them one by one: peek, tick, output.
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
#define TF_NOINLINE [[gnu::noinline]]
#else
#define TF_INLINE inline
#define TF_NOINLINE
#endif

// How an output sample is made from the wet and the input sample. Multiplying
// by exactly 1 changes no value, so a send or gain of 1 (the defaults) can be
// left out: with both, the sum alone (in single precision when replacing, the
// sum of two floats rounded once), with a gain of 1 the wet sample scaled by
// the send, otherwise both and the gain.
enum class Mix { floatSum, sum, unitGain, scaled };

Mix mixFor(bool accumulate, const Gains& gains) {
    if (gains.output != 1.0) return Mix::scaled;
    if (gains.send != 1.0) return Mix::unitGain;
    return accumulate ? Mix::sum : Mix::floatSum;
}

// A run of whole chunks of four frames through both lines, which share their
// positions and delay: `write` is a multiple of 4, `length` too, and `delay`
// is 0 or 4 and more.
struct ChunkRun {
    float* lineLeft;
    float* lineRight;
    std::int32_t length;
    std::int32_t write;
    std::int32_t delay;
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
    std::int32_t chunks;
};

constexpr int kUndelayed = 4;  // the phase of delay 0

// The vector loop leaves subnormal results to the processor's flush mode
// (frames one by one flush them themselves), so it is only built where there
// is one.
#if TF_HARDWARE_FLUSH && defined(__GNUC__)
#define TF_VECTOR_FRAMES 1
// The vector helpers are always inlined, so no vector crosses a call and the
// note about the ABI of 32-byte vectors without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
#else
#define TF_VECTOR_FRAMES 0
#endif

#if TF_VECTOR_FRAMES
#define TF_COMB_AVX2 0
namespace portable {
#include "flanger/comb_frames.inc"
}  // namespace portable
#undef TF_COMB_AVX2
#endif

#if TF_VECTOR_FRAMES && (defined(__x86_64__) || defined(__i386__)) && !defined(TF_NO_AVX2_KERNEL)
#define TF_AVX2_KERNEL 1
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
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

// The chunk loop compiled twice: for any processor of the target, and for
// x86 processors with AVX2 and FMA, chosen once at run time. The arithmetic
// is the same IEEE double arithmetic either way, so the results are the same
// bits; the wider vectors only take more at a time. A kernel returns the
// write position after the run.
using Kernel = std::int32_t (*)(const ChunkRun&, const Gains&);

template <bool Accumulate>
Kernel bestKernel() {
#if TF_AVX2_KERNEL
    static const Kernel chosen = [] {
        __builtin_cpu_init();
        const bool avx2 = __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
        return avx2 ? avx2::chunkFrames<Accumulate> : portable::chunkFrames<Accumulate>;
    }();
    return chosen;
#elif TF_VECTOR_FRAMES
    return portable::chunkFrames<Accumulate>;
#else
    return nullptr;
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

// Frames [at, at + frames) one at a time: peeks, ticks, outputs.
template <bool Accumulate>
void frameByFrame(DelayLine& lineLeft, DelayLine& lineRight, float** inputs, float** outputs, std::int32_t at,
                  std::int32_t frames, const Gains& gains) {
    for (std::int32_t i = at; i < at + frames; ++i) {
        const auto left = static_cast<double>(inputs[0][i]);
        const auto right = static_cast<double>(inputs[1][i]);
        const auto feedLeft = static_cast<double>(lineLeft.peek());
        const auto feedRight = static_cast<double>(lineRight.peek());
        const auto wetLeft = static_cast<double>(lineLeft.tick(stored(feedLeft, left, gains)));
        const auto wetRight = static_cast<double>(lineRight.tick(stored(feedRight, right, gains)));
        outputs[0][i] = mixed<Accumulate>(wetLeft, left, outputs[0][i], gains);
        outputs[1][i] = mixed<Accumulate>(wetRight, right, outputs[1][i], gains);
    }
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
    const std::int32_t length = delayLeft->size();
    const bool chunksOk = kernel != nullptr && length % 4 == 0 && coincideExactlyOrNotAtAll(inputs, outputs, frames);

    // Frames [at, at + count) at the delay in force: one by one up to a
    // write position that is a multiple of 4, then in whole chunks, then the
    // rest one by one. Both lines always share their positions and delay.
    auto render = [&](std::int32_t at, std::int32_t count) {
        const std::int32_t delay = delayLeft->delay();
        if (!chunksOk || (delay > 0 && delay < 4)) {
            frameByFrame<Accumulate>(*delayLeft, *delayRight, inputs, outputs, at, count, gains);
            return;
        }
        const std::int32_t lead = std::min(count, -delayLeft->writePosition() & 3);
        if (lead > 0) frameByFrame<Accumulate>(*delayLeft, *delayRight, inputs, outputs, at, lead, gains);
        const std::int32_t chunks = (count - lead) / 4;
        if (chunks > 0) {
            const std::int32_t first = at + lead;
            const std::int32_t write =
                kernel(ChunkRun{delayLeft->samples(), delayRight->samples(), length, delayLeft->writePosition(), delay,
                                inputs[0] + first, inputs[1] + first, outputs[0] + first, outputs[1] + first, chunks},
                       gains);
            delayLeft->moveTo(write);
            delayRight->moveTo(write);
        }
        const std::int32_t tail = count - lead - 4 * chunks;
        if (tail > 0) frameByFrame<Accumulate>(*delayLeft, *delayRight, inputs, outputs, at + count - tail, tail, gains);
    };

    // Frames [done - pending, done) wait to be rendered at the delay in
    // force; they go in one piece when the delay is about to change, or at
    // the end.
    std::int32_t pending = 0;
    for (std::int32_t done = 0; done < frames;) {
        // Up to the next LFO step, which comes first in its frame.
        std::int32_t span = frames - done;
        if (modAmount != 0.0f) {
            if (sineTable->framesUntilDue(sampleCounter) == 0 && stepLfo()) {
                render(done - pending, pending);
                pending = 0;
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
    render(frames - pending, pending);
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
