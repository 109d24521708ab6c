// The plain kernel: frames one by one, each exactly as the comb's peek,
// tick and output formula say. It is the reference the vector kernels are
// held to, and the kernel of builds and lines the vector kernels do not take.
#include "dsp/comb_kernel.h"
#include "dsp/subnormal_flush.h"

namespace {

template <bool Accumulate>
std::int32_t plainFrames(const CombRun& run) {
    float* const lineLeft = run.lineLeft;
    float* const lineRight = run.lineRight;
    const std::int32_t length = run.length;
    std::int32_t write = run.write;
    std::int32_t read = write - run.delay < 0 ? write - run.delay + length : write - run.delay;
    const CombGains gains = run.gains;
    for (std::int32_t i = 0; i < run.frames; ++i) {
        // Both inputs before either output: the arrays may be the same.
        const auto left = static_cast<double>(SubnormalFlush::flushed(run.inLeft[i]));
        const auto right = static_cast<double>(SubnormalFlush::flushed(run.inRight[i]));
        // peek
        const auto feedLeft = static_cast<double>(lineLeft[read]);
        const auto feedRight = static_cast<double>(lineRight[read]);
        // tick: store, then read (at delay 0 the sample just stored)
        lineLeft[write] = SubnormalFlush::flushed(static_cast<float>(feedLeft * gains.feedback + left));
        lineRight[write] = SubnormalFlush::flushed(static_cast<float>(feedRight * gains.feedback + right));
        if (++write == length) write = 0;
        const auto wetLeft = static_cast<double>(lineLeft[read]);
        const auto wetRight = static_cast<double>(lineRight[read]);
        if (++read == length) read = 0;
        double outLeft = (wetLeft * gains.send + left) * gains.output;
        double outRight = (wetRight * gains.send + right) * gains.output;
        if constexpr (Accumulate) outLeft += static_cast<double>(SubnormalFlush::flushed(run.outLeft[i]));
        run.outLeft[i] = SubnormalFlush::flushed(static_cast<float>(outLeft));
        if constexpr (Accumulate) outRight += static_cast<double>(SubnormalFlush::flushed(run.outRight[i]));
        run.outRight[i] = SubnormalFlush::flushed(static_cast<float>(outRight));
    }
    return write;
}

}  // namespace

namespace combkernels {

const CombKernel plain{"plain", plainFrames<false>, plainFrames<true>, false};

}  // namespace combkernels
