// Two feedback comb lines of one length, for the left and the right
// channel, that always share their write position and their delay: the
// pair of DelayLines a stereo flanger runs, with one block operation in
// place of a peek and a tick per line and frame.
//
// peek, tick, setDelay and clear mean what they mean for a DelayLine, for
// both lines at once. `process` renders a span of frames at the delay in
// force: each line stores input + feedback x its peeked sample and yields
// its delayed sample w, and each output is (w x send + input) x output gain,
// written over the output or added to it; every value stored is rounded to
// a float from double arithmetic. Storage is taken in the constructor only;
// nothing else allocates.
//
// The loop (the kernel) is chosen once, when the comb is made: the fastest
// this build has and this processor runs. Subnormal numbers are flushed to
// zero only while a SubnormalFlush lives (or, on processors without such a
// mode, by the plain kernel itself); the caller sets one up per call.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/comb_kernel.h"

struct StereoFrame {
    float left;
    float right;
};

// The host's arrays for one span: inputs and outputs per channel, any of
// which may be the same array (in place, or crossed), `frames` long.
struct StereoSpan {
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
    std::int32_t frames;
};

class StereoComb {
public:
    static constexpr std::size_t kAlignment = 16;  // bytes, for whole-chunk stores

    // length: samples per line, at least 2 (a smaller value is taken as 2).
    // A new comb is silent and has a delay of length - 1. Throws
    // std::bad_alloc when the storage cannot be had.
    explicit StereoComb(std::int32_t length);

    StereoComb(const StereoComb&) = delete;
    StereoComb& operator=(const StereoComb&) = delete;

    // delay in samples: 0 to length - 1; larger values act as length - 1,
    // negative ones as 0. Works from the current write position.
    void setDelay(std::int32_t delay);
    std::int32_t delay() const { return delayInForce; }
    std::int32_t length() const { return size; }
    // The samples the next tick reads; at delay 0 the oldest ones instead.
    StereoFrame peek() const;
    // Stores both inputs, then reads: at delay d the inputs of d ticks ago.
    StereoFrame tick(StereoFrame input);
    // Silences both lines; the positions, and so the delay, stay.
    void clear();

    // Renders `span` (frames <= 0: nothing) with the gains: feedback,
    // send and output, as floats; `accumulate` adds into the outputs.
    void process(const StereoSpan& span, float feedback, float send, float outputGain, bool accumulate);

    // Moves both lines' samples so that the next frame is stored at the
    // start of a chunk of four, where the vector kernels take whole chunks;
    // what peek and tick give does not change. For the start of a host's
    // block: with blocks of a multiple of 4 frames it is then done once.
    void alignToChunk();

    // The kernels this build has and this processor runs, plain first; for
    // tests and benchmarks, which may make a comb use any of them.
    static std::vector<const CombKernel*> runnableKernels();
    void useKernel(const CombKernel& chosen) { kernel = &chosen; }
    const CombKernel& currentKernel() const { return *kernel; }

private:
    std::int32_t readPosition() const;

    std::unique_ptr<float[]> storage;  // both lines, and room to align them
    float* left;                       // in storage, aligned to kAlignment
    float* right;
    std::int32_t size;
    std::int32_t write = 0;
    std::int32_t delayInForce;
    const CombKernel* kernel;
};
