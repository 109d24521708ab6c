// The flush guard around a processing call: subnormal numbers flushed while
// it lives, the caller's register back afterwards exactly as it was, and a
// caller that already flushes left alone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsp/subnormal_flush.h"

#if defined(__SSE2__) || defined(__x86_64__)
#include <xmmintrin.h>

namespace {

constexpr unsigned kFlushBits = 0x8040;  // FZ, DAZ
constexpr unsigned kInexact = 0x20;
constexpr unsigned kUnderflow = 0x10;

// Work the optimiser cannot fold: a product that underflows, rounded.
[[gnu::noinline]] float tinyProduct(float a, float b) {
    volatile float x = a;
    volatile float y = b;
    return x * y;
}

TEST(SubnormalFlush, FlushesWhileItLivesThenGivesBackTheCallersRegisterExactly) {
    const unsigned caller = _mm_getcsr();
    const unsigned starting = caller & ~(kFlushBits | 0x3Fu);  // a thread as it starts
    _mm_setcsr(starting);
    float flushed = 1.0f;
    {
        const SubnormalFlush guard;
        EXPECT_EQ(_mm_getcsr() & kFlushBits, kFlushBits);
        flushed = tinyProduct(1e-30f, 1e-15f);  // 1e-45: subnormal, so 0
        EXPECT_NE(_mm_getcsr() & kUnderflow, 0u) << "the work raised underflow";
    }
    const unsigned after = _mm_getcsr();
    EXPECT_EQ(flushed, 0.0f);
    EXPECT_EQ(after, starting) << "mode and flags as the caller left them";
    EXPECT_NE(std::fpclassify(tinyProduct(1e-30f, 1e-15f)), FP_ZERO) << "no flushing after it";
    _mm_setcsr(caller);
}

TEST(SubnormalFlush, ACallerThatFlushesKeepsItsRegisterAsItIs) {
    const unsigned caller = _mm_getcsr();
    const unsigned flushing = (caller & ~0x3Fu) | kFlushBits | kInexact;
    _mm_setcsr(flushing);
    {
        const SubnormalFlush guard;
        EXPECT_EQ(_mm_getcsr(), flushing);
    }
    EXPECT_EQ(_mm_getcsr() & ~0x3Fu, flushing & ~0x3Fu);
    EXPECT_NE(_mm_getcsr() & kInexact, 0u);
    _mm_setcsr(caller);
}

}  // namespace

#endif

namespace {

TEST(SubnormalFlush, SoftwareFlushGivesAZeroOfTheSameSign) {
    if constexpr (TF_HARDWARE_FLUSH) GTEST_SKIP() << "this processor flushes in hardware";
    const float tiny = std::numeric_limits<float>::denorm_min();
    EXPECT_EQ(SubnormalFlush::flushed(tiny), 0.0f);
    EXPECT_TRUE(std::signbit(SubnormalFlush::flushed(-tiny)));
    EXPECT_EQ(SubnormalFlush::flushed(std::numeric_limits<float>::min()), std::numeric_limits<float>::min());
}

}  // namespace
