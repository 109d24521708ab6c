// Benchmarks of the plug-in library through its record's entry points, in
// the conditions hosts create, with a memcpy of the same buffers as the
// floor and Debian's flangers beside it:
//  - host-like (the main figures): fresh input every block, taken in turn
//    from a pool of several seconds of noise; the host thread's floating-
//    point exception flags clear at each call (as at thread start); the
//    lines' position varied (a warm-up of a random number of frames before
//    each repetition); blocks of 32 to 4096 frames and an irregular
//    sequence of 1 to 4096;
//  - the first LFO cycle after a parameter change (the sines are worked out
//    as the cycle goes) beside a later one;
//  - best case, for reference only: the same input every block, flags left
//    raised, the lines at position 0.
// A table at the end gives the medians per frame and as multiples of
// memcpy in the same conditions.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host_conditions.h"
#include "loader/plugin_instance.h"
#include "peer_flangers.h"

namespace {

enum : std::int32_t { kTempo, kResolution, kSend, kDepth, kModAmount, kWaveform, kFeedback, kBoost };

constexpr int kIrregular = 0;                // the block "size" of the irregular sequence
constexpr int kMaxBlock = 4096;
constexpr std::int64_t kFramesPerFirstCycle = 7000;  // a Tempo resend every 70 LFO steps

std::shared_ptr<PluginLibrary> library() {
    static auto loaded = PluginLibrary::open(FLANGER_PLUGIN);
    return loaded;
}

using hostconditions::Channel;
using hostconditions::clearExceptionFlags;
using hostconditions::kPoolFrames;

const hostconditions::NoisePool& pool() { return hostconditions::noisePool(); }

// The block sizes a benchmark goes through: one size, or the irregular
// sequence.
class Blocks {
public:
    explicit Blocks(int size) {
        if (size != kIrregular) {
            sizes.push_back(size);
            return;
        }
        std::mt19937 random(11);
        std::uniform_int_distribution<int> any(1, kMaxBlock);
        for (int i = 0; i < 1000; ++i) sizes.push_back(any(random));
    }
    int next() {
        const int size = sizes[at];
        at = at + 1 == sizes.size() ? 0 : at + 1;
        return size;
    }

private:
    std::vector<int> sizes;
    std::size_t at = 0;
};

// Where the next block of fresh input starts in the pool.
class Feed {
public:
    explicit Feed(bool fresh) : fresh(fresh) {}
    std::size_t next(int frames) {
        if (!fresh) return 0;
        if (position + static_cast<std::size_t>(frames) > kPoolFrames) position = 0;
        const std::size_t start = position;
        position += static_cast<std::size_t>(frames);
        return start;
    }

private:
    bool fresh;
    std::size_t position = 0;
};

// A switched-on instance and the host's output buffers.
struct Rig {
    Rig() : outLeft(kMaxBlock), outRight(kMaxBlock) {
        plugin = PluginInstance::create(library());
        plugin->open();
        plugin->setSampleRate(44100.0f);
        plugin->setBlockSize(kMaxBlock);
        plugin->resume();
        record = plugin->record();
    }
    void replacing(std::size_t start, int frames) {
        float* in[] = {pool().left.data() + start, pool().right.data() + start};
        float* out[] = {outLeft.data(), outRight.data()};
        record->processReplacing(record, in, out, frames);
    }
    void adding(std::size_t start, int frames) {
        float* in[] = {pool().left.data() + start, pool().right.data() + start};
        float* out[] = {outLeft.data(), outRight.data()};
        record->process(record, in, out, frames);
    }
    // The lines moved on by a number of frames the repetition draws.
    void warmUp(bool randomPhase) {
        static std::mt19937 random(5);
        if (!randomPhase) return;
        replacing(0, std::uniform_int_distribution<int>(1, 397)(random));
    }

    Channel outLeft, outRight;
    std::unique_ptr<PluginInstance> plugin;
    EffectRecord* record = nullptr;
};

struct Conditions {
    bool hostLike;  // fresh input, flags clear, random phase
};

void countFrames(benchmark::State& state, std::int64_t frames) {
    state.SetItemsProcessed(frames);
}

void Memcpy(benchmark::State& state, Conditions conditions) {
    Rig rig;
    Blocks blocks(static_cast<int>(state.range(0)));
    Feed feed(conditions.hostLike);
    std::int64_t frames = 0;
    for (auto _ : state) {
        const int n = blocks.next();
        const std::size_t start = feed.next(n);
        if (conditions.hostLike) clearExceptionFlags();
        std::memcpy(rig.outLeft.data(), pool().left.data() + start, static_cast<std::size_t>(n) * sizeof(float));
        std::memcpy(rig.outRight.data(), pool().right.data() + start, static_cast<std::size_t>(n) * sizeof(float));
        benchmark::ClobberMemory();
        frames += n;
    }
    countFrames(state, frames);
}

// Every `resend` frames (0: never) the host sends Tempo again, which starts
// a new LFO cycle whose sines are worked out as it goes.
void Replacing(benchmark::State& state, Conditions conditions, std::int64_t resend) {
    Rig rig;
    rig.warmUp(conditions.hostLike);
    Blocks blocks(static_cast<int>(state.range(0)));
    Feed feed(conditions.hostLike);
    const float tempo = rig.plugin->getParameter(kTempo);
    std::int64_t frames = 0, sinceResend = 0;
    for (auto _ : state) {
        const int n = blocks.next();
        const std::size_t start = feed.next(n);
        if (resend > 0 && (sinceResend += n) >= resend) {
            rig.record->setParameter(rig.record, kTempo, tempo);
            sinceResend = 0;
        }
        if (conditions.hostLike) clearExceptionFlags();
        rig.replacing(start, n);
        benchmark::ClobberMemory();
        frames += n;
    }
    countFrames(state, frames);
}

void Adding(benchmark::State& state, Conditions conditions) {
    Rig rig;
    rig.warmUp(conditions.hostLike);
    Blocks blocks(static_cast<int>(state.range(0)));
    Feed feed(conditions.hostLike);
    std::int64_t frames = 0;
    for (auto _ : state) {
        const int n = blocks.next();
        const std::size_t start = feed.next(n);
        if (conditions.hostLike) clearExceptionFlags();
        // The sums stay bounded: the outputs are cleared now and then.
        if ((frames & 0xFFFF) < n) std::fill_n(rig.outLeft.data(), kMaxBlock, 0.0f);
        rig.adding(start, n);
        benchmark::ClobberMemory();
        frames += n;
    }
    countFrames(state, frames);
}

// A host automating Tempo sends a change before every block.
void TempoChangeEveryBlock(benchmark::State& state) {
    Rig rig;
    rig.warmUp(true);
    Feed feed(true);
    const int n = static_cast<int>(state.range(0));
    bool flip = false;
    std::int64_t frames = 0;
    for (auto _ : state) {
        rig.record->setParameter(rig.record, kTempo, flip ? 0.3f : 0.7f);
        flip = !flip;
        clearExceptionFlags();
        rig.replacing(feed.next(n), n);
        benchmark::ClobberMemory();
        frames += n;
    }
    countFrames(state, frames);
}

// One parameter change alone, at the slowest cycle (96 beats at 60 BPM).
void ParameterChange(benchmark::State& state) {
    Rig rig;
    rig.record->setParameter(rig.record, kTempo, 0.0f);
    rig.record->setParameter(rig.record, kResolution, 1.0f);
    const auto parameter = static_cast<std::int32_t>(state.range(0));
    const float values[] = {parameter == kTempo ? 0.0f : 0.3f, parameter == kTempo ? 0.001f : 0.9f};
    std::size_t flip = 0;
    for (auto _ : state) {
        rig.record->setParameter(rig.record, parameter, values[flip ^= 1]);
        benchmark::ClobberMemory();
    }
}

void ProgramChange(benchmark::State& state) {
    Rig rig;
    rig.plugin->setProgram(1);
    rig.record->setParameter(rig.record, kTempo, 0.0f);
    rig.record->setParameter(rig.record, kResolution, 1.0f);
    rig.record->setParameter(rig.record, kWaveform, 0.5f);
    std::intptr_t program = 0;
    for (auto _ : state) {
        program = program == 1 ? 2 : 1;
        rig.record->dispatcher(rig.record, kOpSetProgram, 0, program, nullptr, 0.0f);
        benchmark::ClobberMemory();
    }
}

// Silence after a loud burst with the feedback at its top: the decay would
// sink into subnormal numbers; the counter says how many outputs were.
void SilentTailAfterBurst(benchmark::State& state) {
    Rig rig;
    rig.record->setParameter(rig.record, kFeedback, 1.0f);
    rig.replacing(0, kMaxBlock);
    Channel silence(kMaxBlock);
    float* in[] = {silence.data(), silence.data()};
    float* out[] = {rig.outLeft.data(), rig.outRight.data()};
    double subnormal = 0;
    for (auto _ : state) {
        rig.record->processReplacing(rig.record, in, out, kMaxBlock);
        for (std::size_t i = 0; i < kMaxBlock; ++i) {
            subnormal += std::fpclassify(rig.outLeft.data()[i]) == FP_SUBNORMAL ? 1 : 0;
        }
    }
    state.counters["subnormal_outputs"] = subnormal;
    countFrames(state, static_cast<std::int64_t>(state.iterations()) * kMaxBlock);
}

// A peer in host-like conditions.
void Peer(benchmark::State& state, PeerFlanger* peer) {
    Rig rig;
    Blocks blocks(static_cast<int>(state.range(0)));
    Feed feed(true);
    std::int64_t frames = 0;
    for (auto _ : state) {
        const int n = blocks.next();
        const std::size_t start = feed.next(n);
        clearExceptionFlags();
        peer->run(pool().left.data() + start, pool().right.data() + start, rig.outLeft.data(), rig.outRight.data(), n);
        benchmark::ClobberMemory();
        frames += n;
    }
    countFrames(state, frames);
}

const std::vector<int> kBlocks = {32, 64, 128, 512, 1024, 4096, kIrregular};

void registerAll(const std::vector<std::unique_ptr<PeerFlanger>>& peers) {
    const Conditions host{true}, best{false};
    for (int block : kBlocks) {
        benchmark::RegisterBenchmark("Memcpy/host", Memcpy, host)->Arg(block);
        benchmark::RegisterBenchmark("Replacing/host", Replacing, host, 0)->Arg(block);
        benchmark::RegisterBenchmark("Replacing/firstcycle", Replacing, host, kFramesPerFirstCycle)->Arg(block);
        benchmark::RegisterBenchmark("Adding/host", Adding, host)->Arg(block);
        benchmark::RegisterBenchmark("Memcpy/best", Memcpy, best)->Arg(block);
        benchmark::RegisterBenchmark("Replacing/best", Replacing, best, 0)->Arg(block);
        for (const auto& peer : peers) {
            benchmark::RegisterBenchmark(("Peer/" + peer->name()).c_str(), Peer, peer.get())->Arg(block);
        }
    }
    benchmark::RegisterBenchmark("TempoChangeEveryBlock", TempoChangeEveryBlock)->Arg(64);
    benchmark::RegisterBenchmark("ParameterChange", ParameterChange)->DenseRange(0, 7);
    benchmark::RegisterBenchmark("ProgramChange", ProgramChange);
    benchmark::RegisterBenchmark("SilentTailAfterBurst", SilentTailAfterBurst);
}

// Keeps the median of each benchmark for the tables.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto items = run.counters.find("items_per_second");
            Median& median = medians[run.run_name.str()];
            median.nsPerCall = run.GetAdjustedRealTime();
            median.nsPerFrame = items != run.counters.end() ? 1e9 / items->second.value : 0.0;
        }
    }
    struct Median {
        double nsPerCall = 0;
        double nsPerFrame = 0;
    };
    std::map<std::string, Median> medians;
};

std::string blockName(int block) { return block == kIrregular ? "irregular" : std::to_string(block); }

void printTables(const MedianReporter& reporter, const std::vector<std::unique_ptr<PeerFlanger>>& peers) {
    const auto& m = reporter.medians;
    if (m.empty()) return;  // nothing ran (a filter, or --benchmark_list_tests)
    auto find = [&](const std::string& name, int block) {
        const std::string key = name + "/" + std::to_string(block);
        return m.count(key) != 0 ? m.at(key) : MedianReporter::Median{};
    };
    std::printf("\nprocessReplacing, ns per stereo frame and x memcpy in the same conditions:\n");
    std::printf("  %-9s | %-16s | %-16s | %-16s | %-16s | %s\n", "block", "host-like", "first LFO cycle",
                "process (adding)", "best case", "host / best");
    for (int block : kBlocks) {
        const double hostFloor = find("Memcpy/host", block).nsPerFrame;
        const double bestFloor = find("Memcpy/best", block).nsPerFrame;
        const double host = find("Replacing/host", block).nsPerFrame;
        const double first = find("Replacing/firstcycle", block).nsPerFrame;
        const double adding = find("Adding/host", block).nsPerFrame;
        const double best = find("Replacing/best", block).nsPerFrame;
        if (host == 0 || hostFloor == 0) continue;
        std::printf("  %-9s | %6.3f = %5.1f x | %6.3f = %5.1f x | %6.3f = %5.1f x | %6.3f = %5.1f x | %5.2f\n",
                    blockName(block).c_str(), host, host / hostFloor, first, first / hostFloor, adding,
                    adding / hostFloor, best, bestFloor > 0 ? best / bestFloor : 0.0, best > 0 ? host / best : 0.0);
    }
    const bool peersRan = std::any_of(peers.begin(), peers.end(), [&](const auto& peer) {
        return find("Peer/" + peer->name(), kBlocks[0]).nsPerFrame != 0;
    });
    if (peersRan) {
        std::printf("\nDebian's flangers in the same host-like conditions, ns per stereo frame (ours is faster by):\n");
        std::printf("  %-38s", "plug-in");
        for (int block : kBlocks) std::printf(" | %-15s", blockName(block).c_str());
        std::printf("\n  %-38s", "ours (default program)");
        for (int block : kBlocks) std::printf(" | %6.2f         ", find("Replacing/host", block).nsPerFrame);
        std::printf("\n");
        for (const auto& peer : peers) {
            if (find("Peer/" + peer->name(), kBlocks[0]).nsPerFrame == 0) continue;  // filtered out
            std::printf("  %-38s", peer->name().c_str());
            for (int block : kBlocks) {
                const double ns = find("Peer/" + peer->name(), block).nsPerFrame;
                const double ours = find("Replacing/host", block).nsPerFrame;
                std::printf(" | %6.2f (%5.1fx)", ns, ours > 0 ? ns / ours : 0.0);
            }
            std::printf("\n");
        }
    }
    const double block64 = find("Replacing/host", 64).nsPerCall;
    const double tempo64 = m.count("TempoChangeEveryBlock/64") != 0 ? m.at("TempoChangeEveryBlock/64").nsPerCall : 0;
    std::printf("\nControl changes against one host-like 64-frame block (%.1f ns):\n", block64);
    std::printf("  a Tempo change before every block: %.1f ns per block = %.2f x the block alone\n", tempo64,
                block64 > 0 ? tempo64 / block64 : 0.0);
    const char* names[] = {"Tempo", "Resolution", "Send", "Depth", "Mod Amt", "Waveform", "FeedBack", "Boost"};
    for (int p = 0; p < 8; ++p) {
        const std::string key = "ParameterChange/" + std::to_string(p);
        const double ns = m.count(key) != 0 ? m.at(key).nsPerCall : 0.0;
        std::printf("  setParameter %-10s %8.1f ns = %5.2f blocks\n", names[p], ns, block64 > 0 ? ns / block64 : 0.0);
    }
    const double program = m.count("ProgramChange") != 0 ? m.at("ProgramChange").nsPerCall : 0.0;
    std::printf("  program change           %8.1f ns = %5.2f blocks\n", program, block64 > 0 ? program / block64 : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto peers = installedPeers(kMaxBlock);
    registerAll(peers);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTables(reporter, peers);
    benchmark::Shutdown();
    return 0;
}
