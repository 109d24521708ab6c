// Nothing on the audio path or in a parameter change allocates: this test
// binary's operator new counts calls while counting is switched on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <new>
#include <vector>

#include "flanger/tempo_flanger.h"
#include "host/entry.h"

// These replace the global operators, malloc and free underneath; GCC sees
// only a free of what operator new returned.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> live{0};       // blocks allocated and not yet freed
std::atomic<long> failAfter{-1};  // while counting: this many succeed, then one fails
}  // namespace

void* operator new(std::size_t size) {
    if (counting) {
        ++allocations;
        if (failAfter >= 0 && failAfter-- == 0) throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        ++live;
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (p != nullptr) --live;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

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

std::intptr_t PLUGIN_CALL host(EffectRecord*, std::int32_t request, std::int32_t, std::intptr_t, void*, float) {
    return request == kRequestVersion ? 1 : 0;
}
EffectBase* makeFlanger(HostCallback callback) { return new TempoFlanger(callback); }

TEST(Allocation, NoneInAnyEntryPointAfterConstruction) {
    EffectRecord* effect = createInstance(host, makeFlanger);
    ASSERT_NE(effect, nullptr);
    std::vector<float> left(512, 0.5f), right(512, -0.5f), outL(512), outR(512);
    float* in[] = {left.data(), right.data()};
    float* out[] = {outL.data(), outR.data()};
    char text[64] = "A name";
    counting = true;
    for (std::int32_t opcode = -2; opcode <= 30; ++opcode) {
        if (opcode == kOpClose) continue;
        for (std::int32_t index : {-1, 0, 3, 7, 8}) {
            effect->dispatcher(effect, opcode, index, opcode == kOpMainsChanged ? index & 1 : index, text, 48000.0f);
            std::strcpy(text, "A name");
        }
        effect->setParameter(effect, opcode & 7, static_cast<float>(opcode + 2) / 33.0f);
        static_cast<void>(effect->getParameter(effect, opcode));
        effect->process(effect, in, out, 512);
        effect->processReplacing(effect, in, in, 100);
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    dispatchEntry(effect, kOpClose, 0, 0, nullptr, 0.0f);
}

// A thousand instances opened, used and closed give back every block.
TEST(Allocation, AThousandInstancesLeaveNothingBehind) {
    const long before = live.load();
    for (int i = 0; i < 1000; ++i) {
        EffectRecord* effect = createInstance(host, makeFlanger);
        ASSERT_NE(effect, nullptr);
        effect->dispatcher(effect, kOpMainsChanged, 0, 1, nullptr, 0.0f);
        effect->setParameter(effect, i % 8, 0.3f);
        ASSERT_EQ(dispatchEntry(effect, kOpClose, 0, 0, nullptr, 0.0f), 1);
    }
    EXPECT_EQ(live.load(), before);
}

// Running out of memory at any allocation of the construction: `main`
// answers null, no exception reaches the host and nothing is left behind.
TEST(Allocation, OutOfMemoryAtConstructionAnswersNullAndLeavesNothing) {
    allocations = 0;
    counting = true;
    EffectRecord* whole = createInstance(host, makeFlanger);
    counting = false;
    const long needed = allocations.load();
    ASSERT_NE(whole, nullptr);
    ASSERT_GT(needed, 1);
    dispatchEntry(whole, kOpClose, 0, 0, nullptr, 0.0f);
    for (long failing = 0; failing < needed; ++failing) {
        const long before = live.load();
        failAfter = failing;
        counting = true;
        EffectRecord* effect = createInstance(host, makeFlanger);
        counting = false;
        failAfter = -1;
        EXPECT_EQ(effect, nullptr) << "allocation " << failing << " failed";
        EXPECT_EQ(live.load(), before) << "allocation " << failing << " failed";
    }
}

}  // namespace
