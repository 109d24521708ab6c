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
};

}  // namespace

namespace combkernels {

const CombKernel portable{"portable", combchunks::frames<PortableOps, false>, combchunks::frames<PortableOps, true>,
                          true};

}  // namespace combkernels

#endif
