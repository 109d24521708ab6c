// The flanger as a host sees it: the plug-in library loaded through its
// exported `main`, driven only through the record's entry points.
#include <gtest/gtest.h>

#include "fingerprint.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "loader/plugin_instance.h"
#include "loader/plugin_library.h"

namespace {

enum : std::int32_t { kTempo, kResolution, kSend, kDepth, kModAmount, kWaveform, kFeedback, kBoost };

class FlangerLibrary : public ::testing::Test {
protected:
    static std::shared_ptr<PluginLibrary> library() {
        static std::shared_ptr<PluginLibrary> loaded = PluginLibrary::open(FLANGER_PLUGIN);
        return loaded;
    }
    std::unique_ptr<PluginInstance> create() { return PluginInstance::create(library()); }
};

// Stereo buffers for one render.
struct Stereo {
    explicit Stereo(std::size_t frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {}
    float* const* channels() {
        pointers[0] = left.data();
        pointers[1] = right.data();
        return pointers;
    }
    std::vector<float> left, right;
    float* pointers[2] = {};
};

// Renders `input` in blocks of `block` frames.
Stereo render(PluginInstance& plugin, Stereo& input, std::size_t block, bool replacing = true) {
    Stereo output(input.left.size());
    for (std::size_t at = 0; at < input.left.size(); at += block) {
        const std::size_t frames = std::min(block, input.left.size() - at);
        float* in[] = {input.left.data() + at, input.right.data() + at};
        float* out[] = {output.left.data() + at, output.right.data() + at};
        if (replacing) {
            plugin.processReplacing(in, out, static_cast<std::int32_t>(frames));
        } else {
            plugin.process(in, out, static_cast<std::int32_t>(frames));
        }
    }
    return output;
}

Stereo noise(std::size_t frames, unsigned seed) {
    Stereo signal(frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (std::size_t i = 0; i < frames; ++i) {
        signal.left[i] = uniform(random);
        signal.right[i] = uniform(random);
    }
    return signal;
}

// A ramp 1, 2, 3, ... in both channels: with Send 1, FeedBack 0 and unity
// gain, output - input is the input `delay` frames back, so the delay in
// force at frame n is n + 1 - (output - input), or silence (0) before it.
Stereo ramp(std::size_t frames) {
    Stereo signal(frames);
    for (std::size_t i = 0; i < frames; ++i) signal.left[i] = signal.right[i] = static_cast<float>(i + 1);
    return signal;
}
float wet(const Stereo& in, const Stereo& out, std::size_t i) { return out.left[i] - in.left[i]; }

TEST_F(FlangerLibrary, HostSeesTheRecordOfTheFlanger) {
    auto plugin = create();
    const EffectRecord* record = plugin->record();
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->flags, 24);
    EXPECT_EQ(record->uniqueId, fourCharCode("Qz7v"));
    EXPECT_EQ(record->numPrograms, 16);
    EXPECT_EQ(record->numParams, 8);
    EXPECT_EQ(plugin->getParameter(kTempo), 0.428572f);
    EXPECT_EQ(plugin->parameterDisplay(kTempo), "120");
    EXPECT_EQ(plugin->programName(), "--- Default ---");
}

TEST_F(FlangerLibrary, SendZeroAtUnityGainPassesTheInput) {
    auto plugin = create();
    plugin->resume();
    plugin->setParameter(kSend, 0.0f);
    Stereo input = noise(5000, 1);
    const Stereo output = render(*plugin, input, 333);
    EXPECT_EQ(output.left, input.left);
    EXPECT_EQ(output.right, input.right);
}

TEST_F(FlangerLibrary, BoostZeroSilencesReplacingAndAddsNothing) {
    auto plugin = create();
    plugin->resume();
    plugin->setParameter(kBoost, 0.0f);
    Stereo input = noise(1000, 2);
    Stereo output(1000, 0.75f);
    plugin->processReplacing(input.channels(), output.channels(), 1000);
    for (float sample : output.left) ASSERT_EQ(sample, 0.0f);
    Stereo kept(1000, 0.75f);
    plugin->process(input.channels(), kept.channels(), 1000);
    for (float sample : kept.right) ASSERT_EQ(sample, 0.75f);
}

TEST_F(FlangerLibrary, ProcessAddsIntoTheOutputs) {
    auto plugin = create();
    plugin->resume();
    Stereo silence(512);
    Stereo ones(512, 1.0f);
    plugin->process(silence.channels(), ones.channels(), 512);
    for (float sample : ones.left) ASSERT_EQ(sample, 1.0f);

    // process = what was there + what processReplacing writes.
    auto adding = create();
    auto replacing = create();
    adding->resume();
    replacing->resume();
    Stereo input = noise(4096, 3);
    Stereo prior = noise(4096, 4);
    Stereo summed = prior;
    adding->process(input.channels(), summed.channels(), 4096);
    Stereo written(4096);
    replacing->processReplacing(input.channels(), written.channels(), 4096);
    for (std::size_t i = 0; i < 4096; ++i) {
        ASSERT_NEAR(summed.left[i], prior.left[i] + written.left[i], 1e-6f) << i;
    }
}

TEST_F(FlangerLibrary, EmptyAndNegativeBlocksTouchNothing) {
    auto plugin = create();
    plugin->resume();
    Stereo input = ramp(300);
    Stereo output(300, 5.0f);
    plugin->processReplacing(input.channels(), output.channels(), 0);
    plugin->processReplacing(input.channels(), output.channels(), -5);
    plugin->process(input.channels(), output.channels(), -5);
    for (float sample : output.left) ASSERT_EQ(sample, 5.0f);
    // The frame counter did not move: the first LFO step is still frame 101.
    plugin->setParameter(kFeedback, 0.0f);
    const Stereo rendered = render(*plugin, input, 300);
    EXPECT_EQ(wet(input, rendered, 99), 1.0f);    // delay 99
    EXPECT_EQ(wet(input, rendered, 100), 76.0f);  // delay 25 from frame 101 on
}

TEST_F(FlangerLibrary, LfoStepsEveryHundredModulatedFramesAcrossBlocks) {
    auto plugin = create();
    // A short cycle (200 BPM, one beat: 132 steps) on a sawtooth from 1 to
    // 99, so that consecutive steps differ.
    plugin->setParameter(kTempo, 1.0f);
    plugin->setParameter(kResolution, 0.0f);
    plugin->setParameter(kDepth, 0.5f);
    plugin->setParameter(kModAmount, 1.0f);
    plugin->setParameter(kWaveform, 1.0f);
    plugin->setParameter(kFeedback, 0.0f);
    plugin->resume();
    Stereo input = ramp(256);
    const Stereo output = render(*plugin, input, 64);
    for (std::size_t i = 99; i < 100; ++i) EXPECT_EQ(wet(input, output, i), static_cast<float>(i + 1 - 99));
    // Frame 101 is index 36 of the second block: saw entry 0, 50 - 49 = 1.
    EXPECT_EQ(wet(input, output, 64 + 35), 1.0f);
    EXPECT_EQ(wet(input, output, 64 + 36), 100.0f);  // delay 1
    // Frame 201 is index 8 of the fourth block: entry 1, about 1.74, rounds to 2.
    EXPECT_EQ(wet(input, output, 192 + 7), 199.0f);
    EXPECT_EQ(wet(input, output, 192 + 8), 199.0f);
    EXPECT_EQ(wet(input, output, 192 + 9), 200.0f);
}

TEST_F(FlangerLibrary, AfterResumeTheHundredAndFirstFrameTakesTheCentre) {
    auto plugin = create();
    plugin->setParameter(kFeedback, 0.0f);
    plugin->resume();
    Stereo input = ramp(200);
    const Stereo output = render(*plugin, input, 200);
    for (std::size_t i = 0; i < 99; ++i) ASSERT_EQ(wet(input, output, i), 0.0f) << i;
    EXPECT_EQ(wet(input, output, 99), 1.0f);      // delay 99
    EXPECT_EQ(wet(input, output, 100), 76.0f);    // delay 25 = roundDelay(lfoCenter)
    EXPECT_EQ(wet(input, output, 199), 175.0f);
}

TEST_F(FlangerLibrary, AfterSuspendWithoutResumeTheDelayDropsToZero) {
    auto plugin = create();  // construction ends suspended
    plugin->setParameter(kFeedback, 0.0f);
    Stereo input = ramp(150);
    const Stereo output = render(*plugin, input, 150);
    EXPECT_EQ(wet(input, output, 99), 1.0f);
    EXPECT_EQ(wet(input, output, 100), 101.0f);  // delay 0: the line yields its own input
    EXPECT_EQ(wet(input, output, 149), 150.0f);
}

// Modulation off, Depth 0.1: a fixed delay of 10 samples. An impulse comes
// out at once, then every 10 samples scaled by Send and the feedback gain.
TEST_F(FlangerLibrary, CombImpulseResponseAtAFixedDelay) {
    auto plugin = create();
    plugin->resume();
    plugin->setParameter(kModAmount, 0.0f);
    plugin->setParameter(kDepth, 0.1f);
    plugin->setParameter(kFeedback, 0.5f);  // gain 0.495
    plugin->setParameter(kSend, 0.5f);
    plugin->setParameter(kBoost, 0.5f);  // twice
    Stereo input(400);
    input.left[0] = 1.0f;
    input.right[0] = -0.5f;
    const Stereo output = render(*plugin, input, 400);
    const double gain = 0.5 * static_cast<double>(0.99f);  // float(0.495) below
    const auto feedback = static_cast<float>(gain);
    float stored = 1.0f;  // what the line holds for the impulse, one pass ago
    for (std::size_t i = 0; i < 400; ++i) {
        float expected = 0.0f;
        if (i == 0) {
            expected = 2.0f;
        } else if (i % 10 == 0) {
            expected = static_cast<float>((static_cast<double>(stored) * 0.5) * 2.0);
            stored = static_cast<float>(static_cast<double>(stored) * static_cast<double>(feedback));
        }
        ASSERT_EQ(output.left[i], expected) << "frame " << i;
        ASSERT_EQ(output.right[i], expected * -0.5f) << "frame " << i;
    }
    EXPECT_GT(output.left[390], 0.0f);
}

TEST_F(FlangerLibrary, InPlaceEqualsSeparateBuffers) {
    auto separate = create();
    auto inPlace = create();
    for (auto* plugin : {separate.get(), inPlace.get()}) {
        plugin->setParameter(kTempo, 0.9f);
        plugin->setParameter(kResolution, 0.0f);
        plugin->setParameter(kFeedback, 0.9f);
        plugin->resume();
    }
    Stereo input = noise(20000, 5);
    const Stereo expected = render(*separate, input, 512);
    Stereo buffer = input;
    for (std::size_t at = 0; at < 20000; at += 512) {
        const auto frames = static_cast<std::int32_t>(std::min<std::size_t>(512, 20000 - at));
        float* channels[] = {buffer.left.data() + at, buffer.right.data() + at};
        inPlace->processReplacing(channels, channels, frames);
    }
    EXPECT_EQ(buffer.left, expected.left);
    EXPECT_EQ(buffer.right, expected.right);
}

TEST_F(FlangerLibrary, SameInputOnBothChannelsGivesTheSameOutputs) {
    auto plugin = create();
    plugin->setParameter(kWaveform, 0.5f);
    plugin->setParameter(kFeedback, 1.0f);
    plugin->resume();
    Stereo input = noise(30000, 6);
    input.right = input.left;
    const Stereo output = render(*plugin, input, 1000);
    EXPECT_EQ(output.left, output.right);
}

TEST_F(FlangerLibrary, InstancesDoNotShareState) {
    auto first = create();
    auto second = create();
    auto reference = create();
    for (auto* plugin : {first.get(), second.get(), reference.get()}) plugin->resume();
    first->setParameter(kTempo, 1.0f);
    first->setParameter(kFeedback, 0.1f);
    first->setProgram(3);
    Stereo input = noise(10000, 7);
    render(*first, input, 100);
    const Stereo a = render(*second, input, 100);
    const Stereo b = render(*reference, input, 100);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(second->getProgram(), 0);
    EXPECT_EQ(second->getParameter(kTempo), 0.428572f);
}

TEST_F(FlangerLibrary, BlockSizeDoesNotChangeTheResult) {
    auto whole = create();
    auto pieces = create();
    whole->resume();
    pieces->resume();
    Stereo input = noise(12345, 8);
    const Stereo expected = render(*whole, input, 12345);
    const Stereo split = render(*pieces, input, 77);
    EXPECT_EQ(split.left, expected.left);
    EXPECT_EQ(split.right, expected.right);
}

TEST_F(FlangerLibrary, HostileControlValuesThroughTheInterface) {
    auto plugin = create();
    plugin->resume();
    Stereo input = noise(1024, 9);
    Stereo output(1024);
    const float values[] = {NAN, INFINITY, -INFINITY, -5.0f, 7.0f, 1e38f};
    for (std::int32_t index = -2; index < 10; ++index) {
        for (float value : values) {
            plugin->setParameter(index, value);
            plugin->processReplacing(input.channels(), output.channels(), 1024);
            plugin->process(input.channels(), output.channels(), 1024);
            EXPECT_EQ(plugin->parameterDisplay(index).size() <= 8, true);
        }
    }
    for (std::int32_t program : {-1, -100, 16, 1000, INT32_MIN, INT32_MAX}) plugin->setProgram(program);
    plugin->dispatch(kOpSetProgram, 0, INTPTR_MIN);
    plugin->dispatch(kOpSetProgram, 0, INTPTR_MAX);
    plugin->setProgram(0);
    plugin->suspend();
    plugin->resume();
    output = render(*plugin, input, 1024);
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_TRUE(std::isfinite(output.left[i]));
}

}  // namespace

namespace {

// The same session gives the same bits on every build: Linux 64- and 32-bit,
// both Windows DLLs (whose C runtime has its own sin and log10).
TEST_F(FlangerLibrary, EveryBuildRendersTheSameBits) {
    auto plugin = create();
    plugin->resume();
    Stereo input = noise(44100, 10);
    Stereo output(44100);
    const struct {
        std::int32_t parameter;
        float value;
    } changes[] = {{kTempo, 1.0f},    {kResolution, 0.0f}, {kModAmount, 1.0f},   {kDepth, 0.5f},
                   {kWaveform, 0.5f}, {kFeedback, 0.8f},   {kWaveform, 0.9f},    {kSend, 0.7f},
                   {kBoost, 0.4f},    {kWaveform, 0.1f},   {kModAmount, 0.33f},  {kTempo, 0.77f}};
    std::size_t at = 0;
    for (const auto& change : changes) {
        plugin->setParameter(change.parameter, change.value);
        const std::size_t frames = 44100 / 12;
        float* in[] = {input.left.data() + at, input.right.data() + at};
        float* out[] = {output.left.data() + at, output.right.data() + at};
        plugin->processReplacing(in, out, static_cast<std::int32_t>(frames));
        at += frames;
    }
    output.left.resize(at);
    output.right.resize(at);
    EXPECT_TRUE(fingerprint::matches({{output.left, output.right}, false}, 9506668040930395481ull, "library-session"));
    EXPECT_EQ(plugin->parameterDisplay(kBoost), "4.082399");
}

}  // namespace
