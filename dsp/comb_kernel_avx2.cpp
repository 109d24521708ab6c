// The AVX2 kernel: four doubles per instruction, and fused multiply-adds
// where they give the same bits (only ever a product of two floats, which a
// double holds exactly, plus one addend: rounded once either way). Compiled
// with AVX2 and FMA; run only where the processor has them.
#include "dsp/comb_chunks.h"

#if TF_AVX2_KERNEL

#include <immintrin.h>

namespace {

struct Avx2Ops {
    using Singles = __m128;
    using Doubles = __m256d;
    static Singles load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, Singles v) { _mm_storeu_ps(p, v); }
    static Doubles widen(Singles v) { return _mm256_cvtps_pd(v); }
    static Singles narrow(Doubles v) { return _mm256_cvtpd_ps(v); }
    static Singles add(Singles a, Singles b) { return _mm_add_ps(a, b); }
    // a + b as a * 1 + b: the same sum, done where the processor
    // multiplies, which leaves more room where it converts.
    static Doubles plus(Doubles a, Doubles b) { return _mm256_fmadd_pd(a, _mm256_set1_pd(1.0), b); }
    static Doubles times(Doubles a, double b) { return _mm256_mul_pd(a, _mm256_set1_pd(b)); }
    static Doubles productPlus(Doubles a, double b, Doubles c) { return _mm256_fmadd_pd(a, _mm256_set1_pd(b), c); }
};

}  // namespace

namespace combkernels {

const CombKernel avx2{"avx2", combchunks::frames<Avx2Ops, false>, combchunks::frames<Avx2Ops, true>, true};

}  // namespace combkernels

#endif
