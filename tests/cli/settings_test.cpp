// fxrender's settings mean what they say: applied in the plug-in's
// parameter order whatever the command line's order, exact values for
// displayed texts, and the LFO's cycle at any sample rate.
#include <cstdio>

#include "lfo_cycle.h"
#include "tool_harness.h"

namespace {

class Settings : public ToolTest {
protected:
    // The normalized value `info` shows for a parameter after the settings.
    double shownValue(const std::string& settings, const std::string& parameter) {
        const Outcome result = run("info " + settings);
        EXPECT_EQ(result.status, 0) << result.output;
        const auto line = result.output.find(" " + parameter + " ");
        if (line == std::string::npos) return -1.0;
        double value = -1.0;
        std::sscanf(result.output.c_str() + line + parameter.size() + 2, "%lf", &value);
        return value;
    }
};

TEST_F(Settings, AreAppliedInParameterOrderAndOnce) {
    writeAudio(at("in.wav"), noise(2, 30000, 44100, 1));
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("a.wav") + " -q --set depth=0 --set mod=off").status, 0);
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("b.wav") + " -q --set mod=off --set depth=0").status, 0);
    EXPECT_EQ(readFile(at("a.wav")), readFile(at("b.wav")));
    // A program first, whatever the order typed.
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("c.wav") + " -q --set depth=10 --program 3").status, 0);
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("d.wav") + " -q --program 3 --set depth=10").status, 0);
    EXPECT_EQ(readFile(at("c.wav")), readFile(at("d.wav")));

    const Outcome twice = run("render " + at("in.wav") + " -o " + at("e.wav") + " --set depth=10 --set Depth=20");
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.output.find("'depth' and 'Depth' both set Depth"), std::string::npos) << twice.output;
}

TEST_F(Settings, MadeAtOnceTheySoundAsMadeOneByOne) {
    // Depth sets the lines' delay only while Mod Amt is 0: set after it.
    Audio impulse{2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<float>(2 * 400)};
    impulse.samples[200] = impulse.samples[201] = 0.5f;  // frame 100
    writeAudio(at("impulse.wav"), impulse);
    ASSERT_EQ(run("render " + at("impulse.wav") + " -o " + at("out.wav") +
                  " -q --float --tail 0 --set mod=off --set depth=10 --set feedback=0")
                  .status,
              0);
    const Audio out = readAudio(at("out.wav"));
    ASSERT_EQ(out.samples.size(), impulse.samples.size());
    EXPECT_EQ(out.samples[2 * 110], 0.5f) << "the echo is not 10 frames after the impulse";
    for (std::size_t frame = 101; frame < 200; ++frame) {
        if (frame != 110) {
            EXPECT_EQ(out.samples[2 * frame], 0.0f) << "frame " << frame;
        }
    }
}

TEST_F(Settings, DisplayedTextsTakeTheExactValue) {
    const struct {
        const char* set;
        const char* parameter;
        double value;
    } cases[] = {
        {"send=0", "Send", 0.0},           {"mod=0", "Mod Amt", 0.0},        {"mod=off", "Mod Amt", 0.0},
        {"boost=12.04", "Boost", 1.0},     {"boost=-oo", "Boost", 0.0},      {"tempo=130", "Tempo", 0.5},
        {"tempo=200", "Tempo", 1.0},       {"tempo=60", "Tempo", 0.0},       {"depth=40", "Depth", 0.4},
        {"feedback=0.495", "FeedBack", 0.5}, {"mod=25", "Mod Amt", 0.25},    {"resolution=96", "Resolution", 1.0},
        {"waveform=sinus", "Waveform", 0.0}, {"waveform=sawtooth", "Waveform", 1.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(shownValue(std::string("--set ") + c.set, c.parameter), c.value, 5e-7) << c.set;
    }
    // Inside a zone: a value well inside it.
    const double four = shownValue("--set resolution=4", "Resolution");
    EXPECT_GT(four, 3.0 / 13 + 0.01);
    EXPECT_LT(four, 4.0 / 13 - 0.01);

    // send=0 is dry: the same samples as norm:0.
    writeAudio(at("in.wav"), noise(2, 5000, 44100, 2));
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("a.wav") + " -q --set send=0").status, 0);
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("b.wav") + " -q --set send=norm:0").status, 0);
    EXPECT_EQ(readFile(at("a.wav")), readFile(at("b.wav")));
}

// The cycle measured from an impulse train (see lfo_cycle.h) rendered
// through the tool.
class LfoCycle : public Settings {
protected:
    double measuredCycleSeconds(int sampleRate, const std::string& options) {
        const auto frames = static_cast<std::size_t>(sampleRate) * 3;
        const Audio impulses{1, sampleRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, lfocycle::impulseTrain(frames)};
        const std::string input = at("impulses" + std::to_string(sampleRate) + ".wav");
        writeAudio(input, impulses);
        const std::string output = at("out" + std::to_string(sampleRate) + ".wav");
        const Outcome result = run("render " + input + " -o " + output + " -q --tail 0 --set send=100 --set feedback=0 " +
                                   "--set tempo=120 --set resolution=1 --set waveform=sinus" + options);
        EXPECT_EQ(result.status, 0) << result.output;
        return lfocycle::seconds(readAudio(output).samples, sampleRate);
    }
};

TEST_F(LfoCycle, LastsTheAskedBeatsAtTheFilesRateWithTrueTempo) {
    const double asked = 0.5;  // 1 beat at 120 BPM
    for (int rate : {44100, 48000, 96000}) {
        const double step = 100.0 / rate;  // the cycle is a whole number of 100-frame steps
        const double plain = measuredCycleSeconds(rate, "");
        const double trueTempo = measuredCycleSeconds(rate, " --true-tempo");
        EXPECT_NEAR(plain, asked * 44100.0 / rate, 2 * step) << rate << " Hz";
        EXPECT_NEAR(trueTempo, asked, 2 * step) << rate << " Hz, --true-tempo";
        std::printf("%d Hz: one beat at 120 BPM lasts %.4f s, with --true-tempo %.4f s (asked 0.5)\n", rate, plain,
                    trueTempo);
    }
    // The note about the rate, once, under -q too; none with --true-tempo.
    writeAudio(at("n48.wav"), noise(2, 4800, 48000, 3));
    writeAudio(at("m48.wav"), noise(2, 4800, 48000, 4));
    fs::create_directories(folder / "out");
    Outcome result = run("render " + at("n48.wav") + " " + at("m48.wav") + " -o " + at("out") + " -q");
    const std::string note = "the plug-in's LFO is timed for 44100 Hz, so its cycle follows 130.6 BPM instead of 120";
    const auto first = result.output.find(note);
    EXPECT_NE(first, std::string::npos) << result.output;
    EXPECT_EQ(result.output.find(note, first + 1), std::string::npos) << result.output;
    result = run("render " + at("n48.wav") + " -o " + at("t.wav") + " --true-tempo");
    EXPECT_EQ(result.output.find(note), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Tempo set to norm:0.358929 for 120 BPM at 48000 Hz"), std::string::npos)
        << result.output;
    // Modulation off: no LFO to speak of.
    result = run("render " + at("n48.wav") + " -o " + at("u.wav") + " --set mod=off");
    EXPECT_EQ(result.output.find(note.substr(0, 30)), std::string::npos) << result.output;
}

}  // namespace
