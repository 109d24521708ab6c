// Nothing on the audio path or in a parameter change allocates: this test
// binary's operator new counts calls while counting is switched on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "flanger/tempo_flanger.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(Allocation, NoneInProcessingParameterOrProgramChanges) {
    TempoFlanger flanger(nullptr);
    std::vector<float> left(1024, 0.25f), right(1024, -0.25f), outL(1024), outR(1024);
    float* in[] = {left.data(), right.data()};
    float* out[] = {outL.data(), outR.data()};
    char text[64];
    counting = true;
    flanger.dispatcher(kOpMainsChanged, 0, 1, nullptr, 0.0f);
    for (int block = 0; block < 50; ++block) {
        for (std::int32_t index = 0; index < 8; ++index) {
            flanger.setParameter(index, static_cast<float>((block * 7 + index) % 11) / 10.0f);
        }
        flanger.processReplacing(in, out, 1024);
        flanger.process(in, out, 333);
        flanger.processReplacing(in, in, 1024);
        flanger.dispatcher(kOpSetProgram, 0, block % 16, nullptr, 0.0f);
        flanger.dispatcher(kOpGetParamDisplay, block % 8, 0, text, 0.0f);
        flanger.dispatcher(kOpGetProgramName, 0, 0, text, 0.0f);
    }
    flanger.dispatcher(kOpMainsChanged, 0, 0, nullptr, 0.0f);
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
