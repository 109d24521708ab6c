// The portable vector kernel: GCC vector extensions, which the compiler
// maps onto the target's own vectors (SSE2 on x86, NEON on AArch64).
// The 32-byte vectors never cross a call: every operation below is inlined
// into the loop, so the note that their calling convention differs without
// AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "dsp/comb_chunks.h"

#if TF_PORTABLE_KERNEL

namespace {

struct PortableOps {
    using Singles = float __attribute__((vector_size(16)));
    using Doubles = double __attribute__((vector_size(32)));
    using Mask = std::int32_t __attribute__((vector_size(16)));
    // Adding into the outputs with a send and gain of 1: the sum alone
    // saves 5 to 15% here.
    static constexpr bool kPlainSumPays = true;

    static Singles set(float a, float b, float c, float d) { return Singles{a, b, c, d}; }
    static Singles load(const float* p) {
        Singles v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(float* p, Singles v) { std::memcpy(p, &v, sizeof v); }
    static Doubles widen(Singles v) { return __builtin_convertvector(v, Doubles); }
    static Singles narrow(const Doubles& v) { return __builtin_convertvector(v, Singles); }
    static Singles add(Singles a, Singles b) { return a + b; }
    static Doubles plus(const Doubles& a, const Doubles& b) { return a + b; }
    static Doubles times(const Doubles& a, double b) { return a * b; }
    static Doubles productPlus(const Doubles& a, double b, const Doubles& c) { return a * b + c; }
    // The last `Phase` samples of the older chunk, then the first 4 - Phase
    // of the newer one.
    template <int Phase>
    static Singles splice(Singles older, Singles newer) {
        return __builtin_shufflevector(older, newer, 4 - Phase, 5 - Phase, 6 - Phase, 7 - Phase);
    }
    // Lane l takes lane l - n, for l from n on; lane l - n + 4 of `v` is
    // the zero vector's.
    static Singles shiftUp(Singles v, int n) {
        const Singles zero = {0.0f, 0.0f, 0.0f, 0.0f};
        switch (n) {
            case 1: return __builtin_shufflevector(zero, v, 0, 4, 5, 6);
            case 2: return __builtin_shufflevector(zero, v, 0, 1, 4, 5);
            default: return __builtin_shufflevector(zero, v, 0, 1, 2, 4);
        }
    }
    // Lane l takes lane l + n, for l up to 3 - n.
    static Singles shiftDown(Singles v, int n) {
        const Singles zero = {0.0f, 0.0f, 0.0f, 0.0f};
        switch (n) {
            case 1: return __builtin_shufflevector(v, zero, 1, 2, 3, 4);
            case 2: return __builtin_shufflevector(v, zero, 2, 3, 4, 5);
            default: return __builtin_shufflevector(v, zero, 3, 4, 5, 6);
        }
    }
    // Lanes [from, to) of `inside`, the others of `outside`.
    static Singles blend(Singles outside, Singles inside, int from, int to) {
        const Mask lane = {0, 1, 2, 3};
        const Mask chosen = (lane >= from) & (lane < to);
        Mask a, b;
        std::memcpy(&a, &inside, sizeof a);
        std::memcpy(&b, &outside, sizeof b);
        const Mask mixed = (a & chosen) | (b & ~chosen);
        Singles result;
        std::memcpy(&result, &mixed, sizeof result);
        return result;
    }
};

}  // namespace

namespace combkernels {

const CombKernel portable{"portable", combchunks::frames<PortableOps, false>, combchunks::frames<PortableOps, true>,
                          true};

}  // namespace combkernels

#endif
