// The loops that run a StereoComb over a span of frames. Each kernel takes
// the same CombRun and gives the same bits: the plain kernel takes the
// frames one by one, exactly as peek, tick and the output formula say, and
// is the reference; the vector kernels take them four at a time. The macros
// below say which vector kernels this build has.
#pragma once

#include <cstdint>

// Vector kernels exist where the processor can flush subnormal numbers to
// zero (x86 with SSE2, AArch64): they rely on that mode, set for the call.
#if defined(TF_WITH_VECTOR_KERNELS) && (defined(__SSE2__) || defined(__aarch64__))
#define TF_PORTABLE_KERNEL 1
#else
#define TF_PORTABLE_KERNEL 0
#endif
#if TF_PORTABLE_KERNEL && (defined(__x86_64__) || defined(__i386__))
#define TF_AVX2_KERNEL 1
#else
#define TF_AVX2_KERNEL 0
#endif

// Gains of one span: what the fed-back sample, the wet sample and the output
// are multiplied by, widened to double as the arithmetic takes them.
struct CombGains {
    double feedback;
    double send;
    double output;
};

// One span of frames through both lines at the delay in force: the lines
// (`length` samples each), where the next frame is stored and the delay in
// samples (0 to length - 1), the host's channel arrays and the frame count
// (at least 1).
struct CombRun {
    float* lineLeft;
    float* lineRight;
    std::int32_t length;
    std::int32_t write;
    std::int32_t delay;
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
    std::int32_t frames;
    CombGains gains;
};

// Renders the span, replacing or adding into the outputs; returns the write
// position after it.
using CombKernelFunction = std::int32_t (*)(const CombRun& run);

struct CombKernel {
    const char* name;
    CombKernelFunction replacing;
    CombKernelFunction accumulating;
    // Vector kernels take only lines whose length is a multiple of 4, stored
    // 16-byte aligned, a delay of 0 or 4 and more, and channel arrays that
    // coincide exactly or not at all; the plain kernel takes anything.
    bool vector;
};

namespace combkernels {

extern const CombKernel plain;
#if TF_PORTABLE_KERNEL
// GCC vector extensions: SSE2 on x86, NEON on AArch64.
extern const CombKernel portable;
#endif
#if TF_AVX2_KERNEL
// For x86 processors with AVX2 and FMA, chosen where the processor has them.
extern const CombKernel avx2;
#endif

}  // namespace combkernels
