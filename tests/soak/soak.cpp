// A long run for the sanitizer build (scripts/soak.sh, not part of the
// tests): an hour of stereo audio at 44.1 kHz through one instance, with
// random automation of every parameter within 0..1, program changes,
// switching off and on and random block sizes, in both processing modes.
// It fails on any non-finite output sample; the sanitizers fail on anything
// else.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "flanger/tempo_flanger.h"
#include "host/entry.h"

namespace {

std::intptr_t PLUGIN_CALL host(EffectRecord*, std::int32_t request, std::int32_t, std::intptr_t, void*, float) {
    return request == kRequestVersion ? 1 : 0;
}
EffectBase* makeFlanger(HostCallback callback) { return new TempoFlanger(callback); }

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3600.0;
    const auto totalFrames = static_cast<std::uint64_t>(seconds * 44100.0);
    std::mt19937 random(argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1u);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), sample(-1.0f, 1.0f);
    std::uniform_int_distribution<std::int32_t> blockSize(1, 4096), parameter(0, 7), program(0, 15), dice(0, 99);

    EffectRecord* effect = createInstance(host, makeFlanger);
    effect->dispatcher(effect, kOpMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left(4096), right(4096), outL(4096), outR(4096);
    float* in[] = {left.data(), right.data()};
    float* out[] = {outL.data(), outR.data()};
    std::uint64_t frames = 0, blocks = 0, changes = 0;
    float peak = 0.0f;
    const auto start = std::chrono::steady_clock::now();
    while (frames < totalFrames) {
        const std::int32_t n = blockSize(random);
        for (std::int32_t i = 0; i < n; ++i) {
            left[static_cast<std::size_t>(i)] = sample(random) * 0.5f;
            right[static_cast<std::size_t>(i)] = sample(random) * 0.5f;
        }
        for (int c = dice(random) % 4; c > 0; --c, ++changes) effect->setParameter(effect, parameter(random), unit(random));
        const std::int32_t roll = dice(random);
        if (roll == 0) effect->dispatcher(effect, kOpSetProgram, 0, program(random), nullptr, 0.0f);
        if (roll == 1) effect->dispatcher(effect, kOpMainsChanged, 0, 0, nullptr, 0.0f);
        if (roll == 2) effect->dispatcher(effect, kOpMainsChanged, 0, 1, nullptr, 0.0f);
        if (roll % 2 == 0) {
            effect->processReplacing(effect, in, out, n);
        } else {
            effect->process(effect, in, roll % 3 == 0 ? in : out, n);
        }
        float** written = roll % 2 != 0 && roll % 3 == 0 ? in : out;
        for (std::int32_t i = 0; i < n; ++i) {
            const float l = written[0][i], r = written[1][i];
            if (!std::isfinite(l) || !std::isfinite(r)) {
                std::fprintf(stderr, "soak: non-finite output after %llu frames\n", static_cast<unsigned long long>(frames));
                return 1;
            }
            peak = std::max({peak, std::fabs(l), std::fabs(r)});
        }
        frames += static_cast<std::uint64_t>(n);
        ++blocks;
    }
    dispatchEntry(effect, kOpClose, 0, 0, nullptr, 0.0f);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("soak: %.0f s of audio (%llu frames, %llu blocks, %llu parameter changes) in %.1f s, peak %.2f: passed\n",
                static_cast<double>(frames) / 44100.0, static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(changes), elapsed,
                static_cast<double>(peak));
    return 0;
}
