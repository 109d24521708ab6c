#include "host_conditions.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <random>

#if defined(__SSE2__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace hostconditions {
namespace {

constexpr std::size_t kPage = 4096;

}  // namespace

Channel::Channel(std::size_t frames)
    : samples(static_cast<float*>(std::aligned_alloc(kPage, (frames * sizeof(float) + kPage - 1) / kPage * kPage))),
      count(frames) {
    if (!samples) throw std::bad_alloc();
    std::fill_n(samples.get(), count, 0.0f);
}

void Channel::Free::operator()(float* p) const { std::free(p); }

NoisePool::NoisePool() : left(kPoolFrames), right(kPoolFrames) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (std::size_t i = 0; i < kPoolFrames; ++i) {
        left.data()[i] = uniform(random);
        right.data()[i] = uniform(random);
    }
}

const NoisePool& noisePool() {
    static const NoisePool noise;
    return noise;
}

void clearExceptionFlags() {
#if defined(__SSE2__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() & ~0x3Fu);
#endif
}

}  // namespace hostconditions
