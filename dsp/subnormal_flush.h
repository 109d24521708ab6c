// Keeps subnormal numbers out of a stretch of audio code: while an object of
// this class lives, the processor flushes subnormal results to zero and reads
// subnormal operands as zero; its destructor restores the caller's mode.
// Only magnitudes below 2^-126 (about -758 dBFS) are affected.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define TF_HARDWARE_FLUSH 1
#else
#define TF_HARDWARE_FLUSH 0
#endif

#include <cmath>
#include <limits>

class SubnormalFlush {
public:
#if TF_HARDWARE_FLUSH
    SubnormalFlush() : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero); }
    ~SubnormalFlush() { _mm_setcsr(saved); }
#else
    SubnormalFlush() = default;
#endif
    SubnormalFlush(const SubnormalFlush&) = delete;
    SubnormalFlush& operator=(const SubnormalFlush&) = delete;

    // For processors without such a mode: a subnormal value becomes a zero
    // of its sign, as the mode makes it.
    static float flushed(float value) {
        if constexpr (TF_HARDWARE_FLUSH) {
            return value;
        } else {
            return std::fabs(value) < std::numeric_limits<float>::min() ? std::copysign(0.0f, value) : value;
        }
    }

private:
#if TF_HARDWARE_FLUSH
    static constexpr unsigned kFlushToZero = 0x8000;      // MXCSR FZ
    static constexpr unsigned kDenormalsAreZero = 0x0040;  // MXCSR DAZ
    unsigned saved;
#endif
};
