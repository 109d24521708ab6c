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
    // Adding into the outputs with a send and gain of 1, the sum alone saves
    // nothing measurable over scaling by the send: no loop of its own.
    static constexpr bool kPlainSumPays = false;

    static Singles set(float a, float b, float c, float d) { return _mm_setr_ps(a, b, c, d); }
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
    template <int Phase>
    static Singles splice(Singles older, Singles newer) {
        return __builtin_shufflevector(older, newer, 4 - Phase, 5 - Phase, 6 - Phase, 7 - Phase);
    }
    static Singles shiftUp(Singles v, int n) {
        const Singles zero = _mm_setzero_ps();
        switch (n) {
            case 1: return __builtin_shufflevector(zero, v, 0, 4, 5, 6);
            case 2: return __builtin_shufflevector(zero, v, 0, 1, 4, 5);
            default: return __builtin_shufflevector(zero, v, 0, 1, 2, 4);
        }
    }
    static Singles shiftDown(Singles v, int n) {
        const Singles zero = _mm_setzero_ps();
        switch (n) {
            case 1: return __builtin_shufflevector(v, zero, 1, 2, 3, 4);
            case 2: return __builtin_shufflevector(v, zero, 2, 3, 4, 5);
            default: return __builtin_shufflevector(v, zero, 3, 4, 5, 6);
        }
    }
    static Singles blend(Singles outside, Singles inside, int from, int to) {
        const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
        const __m128i chosen = _mm_andnot_si128(_mm_cmpgt_epi32(_mm_set1_epi32(from), lane),
                                                _mm_cmpgt_epi32(_mm_set1_epi32(to), lane));
        return _mm_blendv_ps(outside, inside, _mm_castsi128_ps(chosen));
    }
};

}  // namespace

namespace combkernels {

const CombKernel avx2{"avx2", combchunks::frames<Avx2Ops, false>, combchunks::frames<Avx2Ops, true>, true};

}  // namespace combkernels

#endif
