// Keeps subnormal numbers out of a stretch of audio code: while an object of
// this class lives, the processor flushes subnormal results to zero and reads
// subnormal operands as zero (x86: MXCSR's FTZ and DAZ; AArch64: FPCR's FZ).
// Only magnitudes below 2^-126 (about -758 dBFS) are affected.
//
// The caller's register comes back on destruction exactly as it was found.
// On x86 the exception flags live in that register too, so those the code
// raised meanwhile are cleared (AArch64 keeps them apart, in FPSR):
// the simpler contract, and measured no slower host-like than keeping the
// raised flags (faster for short blocks, as the register is not read again
// on the way out). The register is written at most once on entry and once
// on exit, and not at all when the caller already flushes.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define TF_HARDWARE_FLUSH 1
#elif defined(__aarch64__)
#define TF_HARDWARE_FLUSH 1
#else
#define TF_HARDWARE_FLUSH 0
#endif

#include <cmath>
#include <cstdint>
#include <limits>

class SubnormalFlush {
public:
#if TF_HARDWARE_FLUSH
    SubnormalFlush() : saved(read()) {
        if ((saved & kFlushBits) != kFlushBits) write(saved | kFlushBits);
    }
    ~SubnormalFlush() {
        if ((saved & kFlushBits) != kFlushBits) write(saved);
    }
#else
    SubnormalFlush() = default;
#endif
    SubnormalFlush(const SubnormalFlush&) = delete;
    SubnormalFlush& operator=(const SubnormalFlush&) = delete;

    // For processors without such a mode: a subnormal value becomes a zero
    // of its sign, as the mode makes it. With the mode, the value itself.
    static float flushed(float value) {
        if constexpr (TF_HARDWARE_FLUSH) {
            return value;
        } else {
            return std::fabs(value) < std::numeric_limits<float>::min() ? std::copysign(0.0f, value) : value;
        }
    }

private:
#if TF_HARDWARE_FLUSH && defined(__aarch64__)
    using Register = std::uint64_t;
    static constexpr Register kFlushBits = Register{1} << 24;  // FPCR.FZ
    static Register read() {
        Register value;
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(value));
        return value;
    }
    static void write(Register value) { __asm__ __volatile__("msr fpcr, %0" : : "r"(value)); }
#elif TF_HARDWARE_FLUSH
    using Register = unsigned;
    static constexpr Register kFlushBits = 0x8000 | 0x0040;  // MXCSR FZ, DAZ
    static Register read() { return _mm_getcsr(); }
    static void write(Register value) { _mm_setcsr(value); }
#endif
#if TF_HARDWARE_FLUSH
    Register saved;
#endif
};
