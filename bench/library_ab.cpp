// Two or more builds of a plug-in library timed against each other in one
// process, for differences smaller than a shared machine's drift between
// runs: every library gets its own instance, the rounds alternate between
// them, and each keeps its fastest round. Calls are host-like: fresh input
// every block (from a pool of noise), the thread's exception flags cleared
// before each call, and the lines moved on by `phase` frames before the
// first block. Figures are nanoseconds per stereo frame of processReplacing.
//
//   library_ab [--blocks 32,64,...] [--phases 0,1] [--rounds N] OLD.so NEW.so...
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host_conditions.h"
#include "loader/plugin_instance.h"

namespace {

using hostconditions::clearExceptionFlags;
using hostconditions::kPoolFrames;

constexpr std::int32_t kMaxBlock = 8192;
constexpr double kFramesPerRound = 3.2e6;

// The host's buffers: input from the noise pool, outputs of their own.
struct Signal {
    Signal() : outLeft(kMaxBlock), outRight(kMaxBlock) {}
    const hostconditions::NoisePool& noise = hostconditions::noisePool();
    hostconditions::Channel outLeft, outRight;
};

// One switched-on instance of one library, its lines moved on by `phase`.
std::unique_ptr<PluginInstance> makeInstance(const std::string& path, std::int32_t phase, Signal& signal) {
    auto instance = PluginInstance::create(PluginLibrary::open(path));
    instance->open();
    instance->setSampleRate(44100.0f);
    instance->setBlockSize(kMaxBlock);
    instance->resume();
    if (phase > 0) {
        float* in[] = {signal.noise.left.data(), signal.noise.right.data()};
        float* out[] = {signal.outLeft.data(), signal.outRight.data()};
        instance->processReplacing(in, out, phase);
    }
    return instance;
}

// Nanoseconds per frame of one round: as many blocks as make about
// kFramesPerRound frames.
double timeRound(PluginInstance& instance, std::int32_t block, Signal& signal) {
    const auto blocks = static_cast<std::int64_t>(std::max(1000.0, kFramesPerRound / block));
    std::size_t position = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t b = 0; b < blocks; ++b) {
        if (position + static_cast<std::size_t>(block) > kPoolFrames) position = 0;
        float* in[] = {signal.noise.left.data() + position, signal.noise.right.data() + position};
        float* out[] = {signal.outLeft.data(), signal.outRight.data()};
        clearExceptionFlags();
        instance.processReplacing(in, out, block);
        position += static_cast<std::size_t>(block);
    }
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    return took.count() / static_cast<double>(blocks * block);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Builds of a plug-in library timed against each other, rounds interleaved", "library_ab"};
    std::vector<std::string> libraries;
    std::vector<std::int32_t> blocks{32, 64, 128, 512, 4096};
    std::vector<std::int32_t> phases{0, 1};
    int rounds = 25;
    app.add_option("libraries", libraries, "plug-in library files (two or more)")->required()->check(CLI::ExistingFile);
    app.add_option("--blocks", blocks, "block sizes in frames")->delimiter(',')->check(CLI::Range(1, kMaxBlock));
    app.add_option("--phases", phases, "frames the lines are moved on before the first block")
        ->delimiter(',')
        ->check(CLI::Range(0, 3));
    app.add_option("--rounds", rounds, "rounds per library; each keeps its fastest")->check(CLI::Range(1, 1000));
    CLI11_PARSE(app, argc, argv);

    Signal signal;
    std::printf("processReplacing, ns per stereo frame, the fastest of %d interleaved rounds\n", rounds);
    std::printf("  %-6s %-6s", "block", "phase");
    for (std::size_t k = 0; k < libraries.size(); ++k) std::printf(" %10s", ("lib " + std::to_string(k + 1)).c_str());
    std::printf("\n");
    try {
        for (const std::int32_t block : blocks) {
            for (const std::int32_t phase : phases) {
                std::vector<std::unique_ptr<PluginInstance>> instances;
                for (const auto& path : libraries) instances.push_back(makeInstance(path, phase, signal));
                std::vector<double> best(instances.size(), 1e300);
                for (int round = 0; round < rounds; ++round) {
                    for (std::size_t k = 0; k < instances.size(); ++k) {
                        best[k] = std::min(best[k], timeRound(*instances[k], block, signal));
                    }
                }
                std::printf("  %-6d %-6d", block, phase);
                for (const double ns : best) std::printf(" %10.3f", ns);
                std::printf("\n");
            }
        }
    } catch (const PluginError& error) {
        std::fprintf(stderr, "library_ab: %s\n", error.what());
        return 2;
    }
    for (std::size_t k = 0; k < libraries.size(); ++k) std::printf("  lib %zu: %s\n", k + 1, libraries[k].c_str());
    return 0;
}
