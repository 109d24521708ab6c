// Benchmarks of the plug-in library through its record's entry points, the
// way a host calls it, with a memcpy of the same buffers as the floor. After
// the runs a table gives each median as a multiple of memcpy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "loader/plugin_instance.h"

namespace {

enum : std::int32_t { kTempo, kResolution, kSend, kDepth, kModAmount, kWaveform, kFeedback, kBoost };

std::shared_ptr<PluginLibrary> library() {
    static auto loaded = PluginLibrary::open(FLANGER_PLUGIN);
    return loaded;
}

// A channel buffer on pages of its own, as a host's often are. Where buffers
// lie relative to each other changes how fast a processor goes through them
// (addresses a multiple of 4 KiB apart look alike to its checks of loads
// against earlier stores); on the heap that would be a matter of chance.
class Channel {
public:
    explicit Channel(std::size_t frames)
        : count(frames), samples(static_cast<float*>(std::aligned_alloc(kPage, pages(frames)))) {
        if (!samples) throw std::bad_alloc();
        std::fill(begin(), end(), 0.0f);
    }
    float* data() { return samples.get(); }
    float* begin() { return samples.get(); }
    float* end() { return samples.get() + count; }
    float& operator[](std::size_t i) { return samples.get()[i]; }

private:
    static constexpr std::size_t kPage = 4096;
    static std::size_t pages(std::size_t frames) { return (frames * sizeof(float) + kPage - 1) / kPage * kPage; }
    struct Free {
        void operator()(float* p) const { std::free(p); }
    };
    std::size_t count;
    std::unique_ptr<float, Free> samples;
};

// Stereo white noise in, two outputs, and a switched-on instance.
struct Rig {
    explicit Rig(std::size_t frames) : inL(frames), inR(frames), outL(frames), outR(frames) {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        for (std::size_t i = 0; i < frames; ++i) {
            inL[i] = uniform(random);
            inR[i] = uniform(random);
        }
        plugin = PluginInstance::create(library());
        plugin->open();
        plugin->setSampleRate(44100.0f);
        plugin->setBlockSize(static_cast<std::int32_t>(frames));
        plugin->resume();
        record = plugin->record();
    }
    void replacing(std::int32_t frames) { record->processReplacing(record, in, out, frames); }

    Channel inL, inR, outL, outR;
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    std::unique_ptr<PluginInstance> plugin;
    EffectRecord* record = nullptr;
};

void perFrame(benchmark::State& state, std::int64_t framesPerIteration) {
    state.SetItemsProcessed(state.iterations() * framesPerIteration);
}

void Memcpy(benchmark::State& state) {
    Rig rig(static_cast<std::size_t>(state.range(0)));
    const auto bytes = static_cast<std::size_t>(state.range(0)) * sizeof(float);
    for (auto _ : state) {
        std::memcpy(rig.outL.data(), rig.inL.data(), bytes);
        std::memcpy(rig.outR.data(), rig.inR.data(), bytes);
        benchmark::ClobberMemory();
    }
    perFrame(state, state.range(0));
}

void ProcessReplacing(benchmark::State& state) {
    Rig rig(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        rig.replacing(static_cast<std::int32_t>(state.range(0)));
        benchmark::ClobberMemory();
    }
    perFrame(state, state.range(0));
}

void Process(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Rig rig(frames);
    // The input and its negation in turn keep the sums in the outputs
    // bounded without clearing them between calls.
    Channel negatedL(frames), negatedR(frames);
    std::transform(rig.inL.begin(), rig.inL.end(), negatedL.begin(), std::negate<>());
    std::transform(rig.inR.begin(), rig.inR.end(), negatedR.begin(), std::negate<>());
    float* negated[2] = {negatedL.data(), negatedR.data()};
    bool flip = false;
    for (auto _ : state) {
        rig.record->process(rig.record, flip ? negated : rig.in, rig.out, static_cast<std::int32_t>(frames));
        flip = !flip;
        benchmark::ClobberMemory();
    }
    perFrame(state, state.range(0));
}

// A host automating a control sends a change before every block.
void changeEveryBlock(benchmark::State& state, std::int32_t parameter, float a, float b) {
    Rig rig(static_cast<std::size_t>(state.range(0)));
    bool flip = false;
    for (auto _ : state) {
        rig.record->setParameter(rig.record, parameter, flip ? a : b);
        flip = !flip;
        rig.replacing(static_cast<std::int32_t>(state.range(0)));
        benchmark::ClobberMemory();
    }
    perFrame(state, state.range(0));
}
void TempoChangeEveryBlock(benchmark::State& state) { changeEveryBlock(state, kTempo, 0.3f, 0.7f); }
void DepthChangeEveryBlock(benchmark::State& state) { changeEveryBlock(state, kDepth, 0.3f, 0.7f); }

// One parameter change alone, at the slowest cycle (96 beats at 60 BPM),
// where a table rebuild would cost most.
void ParameterChange(benchmark::State& state) {
    Rig rig(64);
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
    Rig rig(64);
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
    Rig rig(4096);
    rig.record->setParameter(rig.record, kFeedback, 1.0f);
    rig.replacing(4096);
    std::fill(rig.inL.begin(), rig.inL.end(), 0.0f);
    std::fill(rig.inR.begin(), rig.inR.end(), 0.0f);
    double subnormal = 0;
    for (auto _ : state) {
        rig.replacing(4096);
        for (std::size_t i = 0; i < 4096; ++i) {
            subnormal += std::fpclassify(rig.outL[i]) == FP_SUBNORMAL ? 1 : 0;
            subnormal += std::fpclassify(rig.outR[i]) == FP_SUBNORMAL ? 1 : 0;
        }
    }
    state.counters["subnormal_outputs"] = subnormal;
    perFrame(state, 4096);
}

void blocks(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(512)->Arg(4096); }

BENCHMARK(Memcpy)->Apply(blocks);
BENCHMARK(ProcessReplacing)->Apply(blocks);
BENCHMARK(Process)->Apply(blocks);
BENCHMARK(TempoChangeEveryBlock)->Arg(64)->Arg(512);
BENCHMARK(DepthChangeEveryBlock)->Arg(64)->Arg(512);
BENCHMARK(ParameterChange)->DenseRange(0, 7);
BENCHMARK(ProgramChange);
BENCHMARK(SilentTailAfterBurst);

// Keeps the median of each benchmark for the table of ratios.
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

void printRatios(const MedianReporter& reporter) {
    const auto& m = reporter.medians;
    auto find = [&](const std::string& name) { return m.count(name) != 0 ? m.at(name) : MedianReporter::Median{}; };
    std::printf("\nMedians as multiples of memcpy of the same buffers (ns per stereo frame):\n");
    for (const char* name : {"ProcessReplacing", "Process", "TempoChangeEveryBlock", "DepthChangeEveryBlock"}) {
        for (int block : {64, 512, 4096}) {
            const auto run = find(std::string(name) + "/" + std::to_string(block));
            const auto floor = find("Memcpy/" + std::to_string(block));
            if (run.nsPerFrame == 0 || floor.nsPerFrame == 0) continue;
            std::printf("  %-24s block %4d: %7.3f ns/frame = %6.1f x memcpy (%.3f)\n", name, block, run.nsPerFrame,
                        run.nsPerFrame / floor.nsPerFrame, floor.nsPerFrame);
        }
    }
    const double block64 = find("ProcessReplacing/64").nsPerCall;
    std::printf("\nControl changes against one 64-frame block (%.1f ns):\n", block64);
    const char* names[] = {"Tempo", "Resolution", "Send", "Depth", "Mod Amt", "Waveform", "FeedBack", "Boost"};
    for (int p = 0; p < 8; ++p) {
        const double ns = find("ParameterChange/" + std::to_string(p)).nsPerCall;
        std::printf("  setParameter %-10s %8.1f ns = %5.2f blocks\n", names[p], ns, ns / block64);
    }
    const double program = find("ProgramChange").nsPerCall;
    std::printf("  program change           %8.1f ns = %5.2f blocks\n", program, program / block64);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
