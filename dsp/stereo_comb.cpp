#include "dsp/stereo_comb.h"

#include <algorithm>
#include <functional>

#include "dsp/subnormal_flush.h"

namespace {

constexpr std::int32_t kShortestLength = 2;
constexpr std::size_t kSlack = StereoComb::kAlignment / sizeof(float) - 1;

// Line length rounded up to whole aligned chunks, so that the right line is
// aligned too.
std::size_t stride(std::int32_t length) {
    constexpr std::size_t chunk = StereoComb::kAlignment / sizeof(float);
    return (static_cast<std::size_t>(length) + chunk - 1) / chunk * chunk;
}

float* aligned(float* storage) {
    const auto address = reinterpret_cast<std::uintptr_t>(storage);
    const std::uintptr_t rounded = (address + StereoComb::kAlignment - 1) & ~(StereoComb::kAlignment - 1);
    return storage + (rounded - address) / sizeof(float);
}

#if TF_AVX2_KERNEL
bool avx2Runs() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
}
#endif

// Arrays that overlap in part, not exactly, cannot be taken four frames at a
// time.
bool overlapsInPart(const float* a, const float* b, std::int32_t frames) {
    const std::less<const float*> before;
    return a != b && before(a, b + frames) && before(b, a + frames);
}

bool coincideExactlyOrNotAtAll(const StereoSpan& span) {
    const float* arrays[] = {span.inLeft, span.inRight, span.outLeft, span.outRight};
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            if (overlapsInPart(arrays[a], arrays[b], span.frames)) return false;
        }
    }
    return true;
}

}  // namespace

StereoComb::StereoComb(std::int32_t length)
    : storage(std::make_unique<float[]>(2 * stride(std::max(length, kShortestLength)) + kSlack)),
      left(aligned(storage.get())),
      right(left + stride(std::max(length, kShortestLength))),
      size(std::max(length, kShortestLength)),
      delayInForce(size - 1),
      kernel(runnableKernels().back()) {
    clear();
}

std::vector<const CombKernel*> StereoComb::runnableKernels() {
    std::vector<const CombKernel*> kernels{&combkernels::plain};
#if TF_PORTABLE_KERNEL
    kernels.push_back(&combkernels::portable);
#endif
#if TF_AVX2_KERNEL
    if (avx2Runs()) kernels.push_back(&combkernels::avx2);
#endif
    return kernels;
}

void StereoComb::setDelay(std::int32_t delay) { delayInForce = std::clamp(delay, 0, size - 1); }

std::int32_t StereoComb::readPosition() const {
    return write - delayInForce < 0 ? write - delayInForce + size : write - delayInForce;
}

StereoFrame StereoComb::peek() const {
    const std::int32_t read = readPosition();
    return {left[read], right[read]};
}

StereoFrame StereoComb::tick(StereoFrame input) {
    const std::int32_t read = readPosition();
    left[write] = input.left;
    right[write] = input.right;
    if (++write == size) write = 0;
    return {left[read], right[read]};
}

void StereoComb::clear() {
    std::fill_n(left, size, 0.0f);
    std::fill_n(right, size, 0.0f);
}

void StereoComb::alignToChunk() {
    if ((write & 3) == 0 || size % 4 != 0) return;
    const std::int32_t shift = 4 - (write & 3);
    std::rotate(left, left + size - shift, left + size);
    std::rotate(right, right + size - shift, right + size);
    write = write + shift == size ? 0 : write + shift;
}

void StereoComb::process(const StereoSpan& span, float feedback, float send, float outputGain, bool accumulate) {
    if (span.frames <= 0) return;
    const CombGains gains{static_cast<double>(SubnormalFlush::flushed(feedback)),
                          static_cast<double>(SubnormalFlush::flushed(send)),
                          static_cast<double>(SubnormalFlush::flushed(outputGain))};
    const CombKernel* chosen = kernel;
    if (chosen->vector &&
        (size % 4 != 0 || (delayInForce > 0 && delayInForce < 4) || !coincideExactlyOrNotAtAll(span))) {
        chosen = &combkernels::plain;
    }
    const CombRun run{left, right, size, write, delayInForce, span.inLeft, span.inRight,
                      span.outLeft, span.outRight, span.frames, gains};
    write = accumulate ? chosen->accumulating(run) : chosen->replacing(run);
}
