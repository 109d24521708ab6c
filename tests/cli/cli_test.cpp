// The command-line host end to end: the built tool run on generated files.
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "loader/plugin_instance.h"
#include "fingerprint.h"
#include "tool_harness.h"

namespace {

class Tool : public ToolTest {
protected:
    std::size_t filesInFolder() const { return filesIn().size(); }
};

TEST_F(Tool, DemoWritesAPlayableFile) {
    const Outcome result = run("demo -o " + at("demo.wav"));
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("realtime"), std::string::npos);
    const Audio demo = readAudio(at("demo.wav"));
    EXPECT_EQ(demo.channels, 2);
    EXPECT_EQ(demo.sampleRate, 44100);
    EXPECT_GE(demo.samples.size(), 2u * 44100 * 12);
    double energy = 0.0;
    for (float s : demo.samples) energy += static_cast<double>(s) * s;
    EXPECT_GT(energy / static_cast<double>(demo.samples.size()), 1e-4);
}

// The demo in floating point is the same file on every machine the tool is
// built for (x86-64 with or without vector kernels, ARM64), bit for bit.
TEST_F(Tool, DemoRendersTheSameBitsOnEveryMachine) {
    const Outcome result = run("demo --float -q -o " + at("demo.wav"));
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(fingerprint::matches(fingerprint::fromInterleaved(readAudio(at("demo.wav")).samples, 2),
                                     5701258512753002458ull, "demo"));
}

// The tool's render equals the same audio pushed through the plug-in in
// this process, block by block, as a host would.
TEST_F(Tool, RenderEqualsTheLoaderInProcess) {
    const Audio input = noise(2, 30000, 48000, 11);
    writeAudio(at("in.wav"), input);
    const Outcome result = run("render " + at("in.wav") + " -o " + at("out.wav") +
                           " --float --tail 0 --block 256 -q --set tempo=150 --set feedback=norm:0.9");
    ASSERT_EQ(result.status, 0) << result.output;
    // -q: only the warning that the LFO at 48 kHz runs faster than at 44.1.
    EXPECT_EQ(result.output.find("\n"), result.output.size() - 1) << result.output;
    EXPECT_NE(result.output.find("warning: '" + at("in.wav") + "' is at 48000 Hz"), std::string::npos) << result.output;
    const Audio output = readAudio(at("out.wav"));
    ASSERT_EQ(output.samples.size(), input.samples.size());
    EXPECT_EQ(output.sampleRate, 48000);

    auto plugin = PluginInstance::create(PluginLibrary::open(FLANGER_PLUGIN));
    plugin->open();
    plugin->setParameter(0, 90.0f / 140.0f);
    ASSERT_EQ(plugin->parameterDisplay(0), "150");
    plugin->setParameter(6, 0.9f);
    plugin->setSampleRate(48000.0f);
    plugin->setBlockSize(256);
    plugin->resume();
    std::vector<float> left(256), right(256), outLeft(256), outRight(256);
    for (std::size_t at = 0; at < 30000; at += 256) {
        const std::size_t frames = std::min<std::size_t>(256, 30000 - at);
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] = input.samples[2 * (at + i)];
            right[i] = input.samples[2 * (at + i) + 1];
        }
        float* in[] = {left.data(), right.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        plugin->processReplacing(in, out, static_cast<std::int32_t>(frames));
        for (std::size_t i = 0; i < frames; ++i) {
            ASSERT_EQ(output.samples[2 * (at + i)], outLeft[i]) << "frame " << at + i;
            ASSERT_EQ(output.samples[2 * (at + i) + 1], outRight[i]) << "frame " << at + i;
        }
    }
}

TEST_F(Tool, MonoInGivesMonoOutAndTheTailRingsOut) {
    Audio input = noise(1, 4410, 44100, 12);
    input.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    writeAudio(at("mono.flac"), input);
    const Outcome result = run("render " + at("mono.flac") + " -o " + at("mono-out.wav") + " --set feedback=norm:1");
    ASSERT_EQ(result.status, 0) << result.output;
    const Audio output = readAudio(at("mono-out.wav"));
    EXPECT_EQ(output.channels, 1);
    EXPECT_EQ(output.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);  // the input's encoding
    EXPECT_GT(output.samples.size(), 4410u + 20000u);  // ringing well past the input
    EXPECT_LT(output.samples.size(), 4410u + 441000u);
    EXPECT_LT(std::fabs(output.samples.back()), 1e-3f);
}

TEST_F(Tool, IntegerOutputsClipAndSayHowOften) {
    Audio loud = noise(2, 5000, 44100, 15);
    for (float& s : loud.samples) s *= 1.9f;  // up to 0.95
    loud.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(at("loud.wav"), loud);
    const Outcome result = run("render " + at("loud.wav") + " -o " + at("loud.aiff") + " --set send=0 --set boost=norm:1 --tail 0");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("samples clipped (--float, or a format that holds floats, keeps them)"),
              std::string::npos)
        << result.output;
    const Audio output = readAudio(at("loud.aiff"));
    ASSERT_EQ(output.samples.size(), loud.samples.size());
    EXPECT_EQ(output.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    std::size_t atFullScale = 0;
    for (std::size_t i = 0; i < output.samples.size(); ++i) {
        ASSERT_LE(std::fabs(output.samples[i]), 1.0f);
        // Clipped, not wrapped around: a loud input sample stays on its side.
        if (std::fabs(loud.samples[i]) > 0.5f) {
            ASSERT_GT(output.samples[i] * loud.samples[i], 0.0f) << i;
        }
        atFullScale += std::fabs(output.samples[i]) > 0.999f ? 1 : 0;
    }
    EXPECT_GT(atFullScale, output.samples.size() / 4);
}

TEST_F(Tool, DisplayValuesLandOnTheirSettings) {
    const Outcome result = run(Launch{{"info", "--set", "tempo=128", "--set", "WAVEFORM=sawtooth", "--set", "mod=off",
                                       "--set", " resolution =4"},
                                      {}, {}, false, false});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find(" Tempo         0.485714   128 "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("sawtooth"), std::string::npos);
    EXPECT_NE(result.output.find(" Mod Amt       0.000000   off "), std::string::npos);
    EXPECT_NE(result.output.find(" Resolution    0.270000   4 "), std::string::npos);
    const Outcome normalized =
        run(Launch{{"info", "--set", "send=norm:0.125", "--program", "Init 2"}, {}, {}, false, false});
    ASSERT_EQ(normalized.status, 0) << normalized.output;
    EXPECT_NE(normalized.output.find(" Send          0.125000   13 "), std::string::npos) << normalized.output;
    EXPECT_NE(normalized.output.find("  2* Init 2"), std::string::npos);
}

TEST_F(Tool, ErrorsNameTheirCauseAndLeaveNoFile) {
    writeAudio(at("in.wav"), noise(2, 1000, 44100, 13));
    writeAudio(at("six.wav"), noise(6, 1000, 44100, 14));
    std::ofstream(at("text.wav")) << "not audio\n";
    const struct {
        std::string arguments;
        int status;
        std::string message;
    } cases[] = {
        {"render " + at("missing.wav") + " -o " + at("out.wav"), 2, "No such file or directory"},
        {"render " + at("text.wav") + " -o " + at("out.wav"), 2, "text.wav"},
        {"render " + at("six.wav") + " -o " + at("out.wav"), 2, "6 channels"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --set speed=3", 1, "parameters: Tempo, Resolution"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --set tempo=300", 1, "60 to 200"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --set tempo=norm:2", 1, "from 0 to 1"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --program 16", 1, "0 to 15"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --program Lead", 1, "Init 15"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --plugin " + at("text.wav"), 2, "cannot be loaded"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --plugin " + BAD_MAGIC_PLUGIN, 2, "magic"},
        {"render " + at("in.wav") + " -o " + at("in.wav"), 2, "the output would overwrite it"},
        {"render " + at("in.wav") + " -o " + at("out.xyz"), 1, "unknown output format"},
        {"render " + at("in.wav") + " -o " + at("out.wav") + " --tail soon", 1, "--tail"},
        {"render " + at("in.wav") + " " + at("six.wav") + " -o " + at("out.wav"), 1, "must be an existing folder"},
        {"render " + at("in.wav") + " -o " + at("nofolder/out.wav"), 2, "does not exist"},
        {"frobnicate", 1, "is not a command"},
    };
    for (const auto& c : cases) {
        const Outcome result = run(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << c.arguments << "\n" << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    }
    EXPECT_EQ(filesInFolder(), 3u);  // in.wav, six.wav, text.wav: nothing written, nothing left over
}

TEST_F(Tool, ABatchInParallelEqualsRenderingOneByOne) {
    fs::create_directories(folder / "batch");
    fs::create_directories(folder / "single");
    std::string inputs;
    for (int i = 0; i < 4; ++i) {
        const std::string name = at("in" + std::to_string(i) + ".wav");
        writeAudio(name, noise(2, 20000 + 1000 * i, 44100, 20u + static_cast<unsigned>(i)));
        inputs += " " + name;
        const Outcome single = run("render " + name + " -o " + at("single/in" + std::to_string(i) + ".wav") + " -q");
        ASSERT_EQ(single.status, 0) << single.output;
    }
    const Outcome batch = run("render" + inputs + " -o " + at("batch") + " -j 4 -q --set depth=40");
    ASSERT_EQ(batch.status, 0) << batch.output;
    const Outcome plain = run("render" + inputs + " -o " + at("batch") + " -j 3 -q");
    ASSERT_EQ(plain.status, 0) << plain.output;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "in" + std::to_string(i) + ".wav";
        EXPECT_EQ(readAudio(folder / "batch" / name).samples, readAudio(folder / "single" / name).samples) << name;
    }
}

// A plug-in of 72 inputs and outputs (a gain of 1): the file feeds the
// first two, the first two are written, and the tool says so.
TEST_F(Tool, RendersThroughOtherChannelCountsAndSaysHow) {
    const Audio input = noise(2, 3000, 44100, 30);
    writeAudio(at("in.wav"), input);
    const Outcome result = run("render " + at("in.wav") + " -o " + at("out.wav") + " --tail 0 --float --plugin " +
                               BARE_72_PLUGIN);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("note: the plug-in has 72 inputs and 72 outputs: the file's two channels feed its "
                                 "inputs 1 and 2, the others are silent; its outputs 1 and 2 are written"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(readAudio(at("out.wav")).samples, input.samples);
}

// Ctrl-C stops a validation at once, the check in progress with it.
TEST_F(Tool, ValidateStopsAtOnceOnCtrlC) {
    // A temporary folder of its own (the tool inherits TMPDIR): the signal
    // goes once this run's first check has started, not on other runs' files.
    const fs::path temporary = at("tmp");
    fs::create_directories(temporary);
    const char* previous = std::getenv("TMPDIR");
    const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    setenv("TMPDIR", temporary.c_str(), 1);
    const Launch launch{{"validate", HANGING_PLUGIN}, {}, {}, false, false};
    const auto start = std::chrono::steady_clock::now();
    const Outcome result = interrupt(launch, temporary, "fxvalidate-", SIGINT);
    if (saved) {
        setenv("TMPDIR", saved->c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    EXPECT_EQ(result.status, 130) << result.output;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // The pattern's first letter in brackets, so that it does not find pgrep's own shell.
    const std::string name = fs::path(HANGING_PLUGIN).filename().string();
    const std::string pattern = "[" + name.substr(0, 1) + "]" + name.substr(1);
    EXPECT_NE(std::system(("pgrep -f '" + pattern + "' >/dev/null").c_str()), 0) << "a check child outlived the run";
    EXPECT_TRUE(fs::is_empty(temporary)) << "the run's temporary files are left";
}

TEST_F(Tool, ValidatePassesThePluginAndFailsEachMisbehaviour) {
    const Outcome good = run("validate --strict " + std::string(FLANGER_PLUGIN));
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_NE(good.output.find("verdict: PASS"), std::string::npos) << good.output;
    EXPECT_NE(good.output.find("texts longer than the 8 characters"), std::string::npos) << good.output;

    const struct {
        const char* plugin;
        const char* line;  // the failing check and what it says
        bool goesOn;       // the checks after it still run
    } bad[] = {
        {OVERLONG_DISPLAY_PLUGIN, "texts           FAIL   crashed", true},
        {CRASHING_PLUGIN, "opcodes         FAIL   crashed", true},
        {NAN_OUTPUT_PLUGIN, "audio           FAIL   non-finite output", true},
        {BAD_MAGIC_PLUGIN, "load            FAIL   ", false},  // a gate: nothing else can run
    };
    for (const auto& plugin : bad) {
        const Outcome result = run("validate " + std::string(plugin.plugin));
        EXPECT_EQ(result.status, 2) << plugin.plugin << "\n" << result.output;
        EXPECT_NE(result.output.find(plugin.line), std::string::npos) << result.output;
        EXPECT_NE(result.output.find("verdict: FAIL"), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("  cost  ") != std::string::npos, plugin.goesOn) << result.output;
    }
}

}  // namespace
