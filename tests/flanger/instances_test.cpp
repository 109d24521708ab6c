// Instances share nothing: several run at once on their own threads (the
// ThreadSanitizer build runs this too) and each gives what it gives alone.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "flanger/tempo_flanger.h"
#include "host/entry.h"

namespace {

std::intptr_t PLUGIN_CALL host(EffectRecord*, std::int32_t request, std::int32_t, std::intptr_t, void*, float) {
    return request == kRequestVersion ? 1 : 0;
}
EffectBase* makeFlanger(HostCallback callback) { return new TempoFlanger(callback); }

// A session of automation and audio through the entry points; returns the
// last block of the left output.
std::vector<float> session(unsigned seed) {
    EffectRecord* effect = createInstance(host, makeFlanger);
    effect->dispatcher(effect, kOpMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left(256), right(256), outL(256), outR(256);
    float* in[] = {left.data(), right.data()};
    float* out[] = {outL.data(), outR.data()};
    unsigned state = seed;
    auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (int block = 0; block < 400; ++block) {
        for (std::size_t i = 0; i < 256; ++i) {
            left[i] = static_cast<float>(next() % 2001) / 1000.0f - 1.0f;
            right[i] = -left[i];
        }
        effect->setParameter(effect, static_cast<std::int32_t>(next() % 8), static_cast<float>(next() % 101) / 100.0f);
        if (block % 50 == 0) effect->dispatcher(effect, kOpSetProgram, 0, next() % 16, nullptr, 0.0f);
        effect->processReplacing(effect, in, out, static_cast<std::int32_t>(1 + next() % 256));
    }
    dispatchEntry(effect, kOpClose, 0, 0, nullptr, 0.0f);
    return outL;
}

TEST(Instances, ManyAtOnceOnTheirOwnThreads) {
    constexpr unsigned kThreads = 4;
    std::vector<std::vector<float>> alone;
    for (unsigned t = 0; t < kThreads; ++t) alone.push_back(session(t + 1));
    std::vector<std::vector<float>> together(kThreads);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) threads.emplace_back([&together, t] { together[t] = session(t + 1); });
    for (auto& thread : threads) thread.join();
    for (unsigned t = 0; t < kThreads; ++t) EXPECT_EQ(together[t], alone[t]) << "thread " << t;
}

}  // namespace
