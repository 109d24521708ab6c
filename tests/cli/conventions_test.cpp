// fxrender's messages and conventions, with SoX and sndfile-convert as the
// reference: commands, option order, quiet, batches, folders, help, the
// progress line, lists of inputs and batches spread with GNU parallel.
#include <cstdlib>
#include <fstream>

#include "tool_harness.h"

namespace {

class Conventions : public ToolTest {};

std::size_t lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST_F(Conventions, CommandsAndOptionsAnywhere) {
    Outcome result = run("rendr x.wav");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output,
              "fxrender: error: 'rendr' is not a command; did you mean 'render'? Commands: demo, render, info, validate "
              "(see fxrender --help)\n");
    writeAudio(at("in.wav"), noise(2, 3000, 44100, 1));
    result = run("render --set tempo=128 " + at("in.wav") + " -o " + at("a.wav") + " -q");
    EXPECT_EQ(result.status, 0) << result.output;
    result = run("render -o " + at("b.wav") + " -q " + at("in.wav") + " --set tempo=128");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(at("a.wav")), readFile(at("b.wav")));
    result = run("render " + at("in.wav"));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("-o/--output is required"), std::string::npos) << result.output;
}

TEST_F(Conventions, QuietSilencesOnlyProgressAndSummary) {
    Audio loud = noise(2, 3000, 44100, 2);
    for (float& s : loud.samples) s *= 1.9f;
    loud.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(at("loud.wav"), loud);
    const Outcome result = run("render " + at("loud.wav") + " -o " + at("out.wav") + " -q --set boost=norm:1");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("warning: '" + at("out.wav") + "': "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("samples clipped"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("wrote"), std::string::npos) << result.output;
    EXPECT_EQ(lines(result.output), 1u);
}

TEST_F(Conventions, ABatchReportsEachBadInputBeforeRendering) {
    writeAudio(at("good1.wav"), noise(2, 3000, 44100, 3));
    writeAudio(at("good2.wav"), noise(1, 3000, 44100, 4));
    writeAudio(at("six.wav"), noise(6, 100, 44100, 5));
    std::ofstream(at("text.wav")) << "not audio\n";
    std::ofstream(at("empty.wav")).close();
    fs::create_directories(folder / "out");
    const Outcome result = run("render " + at("good1.wav") + " " + at("missing.wav") + " " + at("six.wav") + " " +
                               at("good2.wav") + " " + at("text.wav") + " " + at("empty.wav") + " -o " + at("out"));
    EXPECT_EQ(result.status, 2) << result.output;
    const std::string expected[] = {
        "fxrender: error: '" + at("missing.wav") + "': No such file or directory\n",
        "fxrender: error: '" + at("six.wav") + "': has 6 channels; only mono and stereo files can be rendered\n",
        "fxrender: error: '" + at("text.wav") + "': not an audio file this tool reads: ",
        "fxrender: error: '" + at("empty.wav") + "': empty file\n",
    };
    const auto firstWrite = result.output.find("wrote");
    for (const auto& line : expected) {
        const auto at = result.output.find(line);
        EXPECT_NE(at, std::string::npos) << line << "\n" << result.output;
        EXPECT_LT(at, firstWrite) << result.output;
    }
    EXPECT_EQ(result.output.substr(result.output.rfind("fxrender:")), "fxrender: 2 rendered, 4 failed\n");
    EXPECT_EQ(filesIn(folder / "out"), (std::set<std::string>{"good1.wav", "good2.wav"}));
    // A usage error stops everything before any file.
    const Outcome usage = run("render " + at("good1.wav") + " " + at("missing.wav") + " -o " + at("out") +
                              " --set speed=3");
    EXPECT_EQ(usage.status, 1) << usage.output;
    EXPECT_EQ(lines(usage.output), 1u) << usage.output;
}

TEST_F(Conventions, OutputFolders) {
    writeAudio(at("in.wav"), noise(2, 1000, 44100, 6));
    fs::create_directories(folder / "into");
    Outcome result = run("render " + at("in.wav") + " -o " + at("into") + "/ -q");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(fs::exists(folder / "into" / "in.wav"));
    result = run("render " + at("in.wav") + " -o " + at("in.wav") + "/");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("is a file, not a folder"), std::string::npos) << result.output;
    result = run("render " + at("in.wav") + " -o " + at("into") + " --type flac -q");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readAudio(folder / "into" / "in.flac").format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
}

TEST_F(Conventions, EachCommandsHelpShowsItsOptionsAndExamples) {
    const struct {
        const char* command;
        std::vector<const char*> shown;
    } cases[] = {
        {"render --help", {"--from-list", "--true-tempo", "-j,--jobs", "--bits", "--type", "Examples:", "norm:X"}},
        {"demo --help", {"tempo-flanger-demo.wav", "--set", "Examples:"}},
        {"info --help", {"--program", "Examples:"}},
        {"--help", {"render", "demo", "info", "validate", "130 for Ctrl-C"}},
    };
    for (const auto& c : cases) {
        const Outcome result = run(c.command);
        EXPECT_EQ(result.status, 0);
        for (const char* text : c.shown) EXPECT_NE(result.output.find(text), std::string::npos) << c.command << ": " << text;
    }
}

TEST_F(Conventions, TheProgressLineFitsANarrowTerminal) {
    writeAudio(at("in.wav"), noise(2, 44100 * 2, 44100, 7));
    const std::string output = at("a-rather-long-output-file-name-that-cannot-fit-in-forty-columns.wav");
    const std::string command = "stty cols 40; " + tool + " render " + at("in.wav") + " -o " + output +
                                " --block 64 --plugin " + SLOW_PLUGIN;
    const std::string typescript = at("typescript");
    ASSERT_EQ(std::system(("script -qec '" + command + "' " + typescript + " >/dev/null 2>&1").c_str()), 0);
    const std::string text = readFile(typescript);
    std::size_t drawn = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find_first_of("\r\n", start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.find('%') != std::string::npos) {
            ++drawn;
            EXPECT_LT(line.size(), 40u) << line;
            EXPECT_NE(line.find("..."), std::string::npos) << line;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_GT(drawn, 0u) << text;
}

TEST_F(Conventions, AListOfInputsAndABatchOverMachines) {
    std::string names;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "song" + std::to_string(i) + ".wav";
        writeAudio(at(name), noise(2, 5000 + 100 * i, 44100, 10u + static_cast<unsigned>(i)));
        names += at(name) + "\n";
    }
    std::ofstream(at("list.txt")) << names;
    fs::create_directories(folder / "one");
    fs::create_directories(folder / "listed");
    ASSERT_EQ(run("render " + at("song0.wav") + " " + at("song1.wav") + " " + at("song2.wav") + " -o " + at("one") +
                  " -q --set tempo=90")
                  .status,
              0);
    Outcome result = run("render --from-list " + at("list.txt") + " -o " + at("listed") + " -q --set tempo=90");
    ASSERT_EQ(result.status, 0) << result.output;
    result = run(Launch{{"render", "--from-list", "-", "-o", at("listed"), "-q", "--set", "tempo=90"}, at("list.txt"),
                        {}, false, false});
    ASSERT_EQ(result.status, 0) << result.output;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "song" + std::to_string(i) + ".wav";
        EXPECT_EQ(readFile(folder / "listed" / name), readFile(folder / "one" / name)) << name;
    }
    if (std::system("command -v parallel >/dev/null 2>&1") != 0) GTEST_SKIP() << "GNU parallel is not installed";
    // The README's recipe, with this machine as the only one.
    const std::string recipe = "cd " + folder.string() + " && ls song*.wav | parallel --will-cite -S : --trc " +
                               "spread/{/} 'mkdir -p spread && " + tool + " render {} -o spread/{/} -q --set tempo=90'" +
                               " >/dev/null 2>&1";
    ASSERT_EQ(std::system(recipe.c_str()), 0);
    for (int i = 0; i < 3; ++i) {
        const std::string name = "song" + std::to_string(i) + ".wav";
        EXPECT_EQ(readFile(folder / "spread" / name), readFile(folder / "one" / name)) << name;
    }
}

TEST_F(Conventions, TheDemoHearsWholeSweeps) {
    const Outcome result = run("demo -o " + at("demo.wav"));
    ASSERT_EQ(result.status, 0) << result.output;
    double every = 0.0, times = 0.0;
    const auto at = result.output.find("the flanger sweeps every ");
    ASSERT_NE(at, std::string::npos) << result.output;
    ASSERT_EQ(std::sscanf(result.output.c_str() + at, "the flanger sweeps every %lf s, %lf times", &every, &times), 2);
    EXPECT_GE(times, 2.0);
    const Audio demo = readAudio(this->at("demo.wav"));
    EXPECT_GE(static_cast<double>(demo.samples.size()) / 2 / demo.sampleRate, 2 * every);
}

// Every command takes --version and --help; a path that does not exist
// says so; a value no setting shows names the nearest, or the way to give
// one between the displays.
TEST_F(Conventions, MessagesSayWhatToDoInstead) {
    for (const char* command : {"demo", "render", "info", "validate"}) {
        const Outcome version = run(std::string(command) + " --version");
        EXPECT_EQ(version.status, 0) << command << ": " << version.output;
        EXPECT_EQ(version.output, "fxrender " TF_VERSION "\n") << command;
        EXPECT_EQ(run(std::string(command) + " --help").status, 0) << command;
    }
    const Outcome missing = run("validate " + at("no-such.so"));
    EXPECT_NE(missing.output.find("does not exist"), std::string::npos) << missing.output;
    const Outcome plugin = run("info --plugin " + at("no-such.so"));
    EXPECT_NE(plugin.output.find("'" + at("no-such.so") + "': does not exist"), std::string::npos) << plugin.output;
    const Outcome input = run("render " + at("no-such.wav") + " -o " + at("out.wav"));
    EXPECT_NE(input.output.find("No such file or directory"), std::string::npos) << input.output;

    const Outcome sine = run("info --set waveform=sine");
    EXPECT_EQ(sine.status, 1);
    EXPECT_NE(sine.output.find("did you mean 'sinus'?"), std::string::npos) << sine.output;
    const Outcome between = run("info --set tempo=128.5");
    EXPECT_EQ(between.status, 1);
    EXPECT_NE(between.output.find("norm:X"), std::string::npos) << between.output;
}

}  // namespace
