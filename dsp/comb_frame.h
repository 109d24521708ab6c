// The comb's formula for one stereo frame, written once: the plain kernel
// runs it frame by frame, the vector kernels run it for the frames of a
// chunk that a run only partly covers, and the tests' reference loop runs
// it too. The vector kernels' whole chunks compute the same arithmetic four
// frames at a time.
#pragma once

#include "dsp/comb_kernel.h"
#include "dsp/subnormal_flush.h"

// One frame through both lines. Each line stores its input plus feedback x
// its fed-back sample (`fedLeft`, `fedRight`: what peek gives); its wet
// sample is the one the delay reads, which is the fed-back one, or at delay
// 0 (`undelayed`) the one just stored; each output is (wet x send + input)
// x output gain, added to what the output held when `Accumulate`. Every
// value stored is rounded once to a float from double arithmetic, subnormal
// results flushed to zero. Both inputs are read before either output is
// written, and the left output is written before the right one is read, so
// the host's arrays may be the same (in place, or crossed). `storedLeft`
// and `storedRight` receive what the lines store.
template <bool Accumulate>
inline void combFrame(const float* inLeft, const float* inRight, float fedLeft, float fedRight, bool undelayed,
                      const CombGains& gains, float& storedLeft, float& storedRight, float* outLeft, float* outRight) {
    const auto left = static_cast<double>(SubnormalFlush::flushed(*inLeft));
    const auto right = static_cast<double>(SubnormalFlush::flushed(*inRight));
    storedLeft = SubnormalFlush::flushed(static_cast<float>(static_cast<double>(fedLeft) * gains.feedback + left));
    storedRight = SubnormalFlush::flushed(static_cast<float>(static_cast<double>(fedRight) * gains.feedback + right));
    const auto wetLeft = static_cast<double>(undelayed ? storedLeft : fedLeft);
    const auto wetRight = static_cast<double>(undelayed ? storedRight : fedRight);
    double mixLeft = (wetLeft * gains.send + left) * gains.output;
    if constexpr (Accumulate) mixLeft += static_cast<double>(SubnormalFlush::flushed(*outLeft));
    *outLeft = SubnormalFlush::flushed(static_cast<float>(mixLeft));
    double mixRight = (wetRight * gains.send + right) * gains.output;
    if constexpr (Accumulate) mixRight += static_cast<double>(SubnormalFlush::flushed(*outRight));
    *outRight = SubnormalFlush::flushed(static_cast<float>(mixRight));
}
