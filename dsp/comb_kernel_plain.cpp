// The plain kernel: frames one by one, each through the comb's frame
// formula (comb_frame.h). It is the reference the vector kernels are held
// to, and the kernel of builds and lines the vector kernels do not take.
#include "dsp/comb_frame.h"
#include "dsp/comb_kernel.h"

namespace {

template <bool Accumulate>
std::int32_t plainFrames(const CombRun& run) {
    float* const lineLeft = run.lineLeft;
    float* const lineRight = run.lineRight;
    const std::int32_t length = run.length;
    const bool undelayed = run.delay == 0;
    std::int32_t write = run.write;
    std::int32_t read = write - run.delay < 0 ? write - run.delay + length : write - run.delay;
    for (std::int32_t i = 0; i < run.frames; ++i) {
        combFrame<Accumulate>(run.inLeft + i, run.inRight + i, lineLeft[read], lineRight[read], undelayed, run.gains,
                              lineLeft[write], lineRight[write], run.outLeft + i, run.outRight + i);
        if (++write == length) write = 0;
        if (++read == length) read = 0;
    }
    return write;
}

}  // namespace

namespace combkernels {

const CombKernel plain{"plain", plainFrames<false>, plainFrames<true>, false};

}  // namespace combkernels
