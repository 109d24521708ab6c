// fxrender's formats do what their names say: containers by extension or
// --type, encodings kept or the nearest, metadata copied, standard input
// and output, and inputs cut short.
#include <cstdlib>
#include <fstream>

#include "tool_harness.h"

namespace {

class Formats : public ToolTest {};

bool canWrite(int format, int sampleRate = 44100) {
    SF_INFO info{};
    info.format = format;
    info.channels = 2;
    info.samplerate = sampleRate;
    return sf_format_check(&info) != 0;
}

TEST_F(Formats, ContainersAreTheOnesTheirNamesSay) {
    writeAudio(at("in.wav"), noise(2, 9600, 48000, 1));
    const struct {
        const char* name;
        int format;
    } cases[] = {
        {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}, {"b.oga", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"c.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},  {"d.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"e.aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT}, {"f.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    };
    for (const auto& c : cases) {
        const Outcome result = run("render " + at("in.wav") + " -o " + at(c.name) + " --tail 0");
        if (!canWrite(c.format, 48000)) {
            EXPECT_EQ(result.status, 1) << result.output;
            EXPECT_NE(result.output.find("it writes wav"), std::string::npos) << result.output;
            continue;
        }
        ASSERT_EQ(result.status, 0) << c.name << ": " << result.output;
        EXPECT_EQ(readAudio(at(c.name)).format, c.format) << c.name;
    }
    // The same through --type, and to standard output.
    const Outcome typed = run(Launch{{"render", at("in.wav"), "-o", "-", "--type", "flac", "--tail", "0", "-q"},
                                     {}, at("typed"), false, false});
    ASSERT_EQ(typed.status, 0) << typed.output;
    EXPECT_EQ(readAudio(at("typed")).format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    const Outcome unknown = run("render " + at("in.wav") + " -o " + at("x.xyz"));
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.output.find("unknown output format; use one of wav"), std::string::npos) << unknown.output;
}

TEST_F(Formats, EncodingsAreKeptOrTheNearestAndNamed) {
    Audio pcm16 = noise(2, 4410, 44100, 2);
    pcm16.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(at("pcm16.wav"), pcm16);
    Audio pcm32 = pcm16;
    pcm32.format = SF_FORMAT_WAV | SF_FORMAT_PCM_32;
    writeAudio(at("pcm32.wav"), pcm32);
    writeAudio(at("float.wav"), noise(2, 4410, 44100, 3));
    Audio vorbis = pcm16;
    vorbis.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    writeAudio(at("vorbis.ogg"), vorbis);
    const struct {
        const char* input;
        const char* output;
        const char* options;
        int format;
        const char* named;
    } cases[] = {
        {"float.wav", "f.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "(FLAC, 24-bit PCM)"},
        {"pcm32.wav", "g.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "(FLAC, 24-bit PCM)"},
        {"pcm16.wav", "h.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "(FLAC, 16-bit PCM)"},
        {"float.wav", "i.wav", "", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "(WAV, 32-bit float)"},
        {"pcm32.wav", "j.aiff", "", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, "(AIFF, 32-bit PCM)"},
        {"vorbis.ogg", "k.wav", "", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "(WAV, 16-bit PCM)"},
        {"pcm16.wav", "l.wav", " --bits 24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, "(WAV, 24-bit PCM)"},
        {"pcm16.wav", "m.aiff", " --float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "(AIFF, 32-bit float)"},
    };
    for (const auto& c : cases) {
        const Outcome result =
            run("render " + at(c.input) + " -o " + at(c.output) + " --tail 0" + c.options);
        ASSERT_EQ(result.status, 0) << c.output << "\n" << result.output;
        EXPECT_NE(result.output.find(c.named), std::string::npos) << result.output;
        EXPECT_EQ(readAudio(at(c.output)).format, c.format) << c.output;
    }
    // A choice the format cannot hold is a usage error, never ignored.
    const struct {
        const char* arguments;
        const char* message;
    } refused[] = {
        {" -o n.flac --float", "--float: .flac files cannot hold it; they hold 16-bit PCM, 24-bit PCM"},
        {" -o o.flac --bits 32", "--bits 32: .flac files cannot hold it"},
        {" -o p.ogg --bits 16", "--bits: .ogg files hold Vorbis"},
        {" -o q.wav --bits 16 --float", "choose one encoding"},
        {" -o r.wav --bits 12", "--bits"},
    };
    for (const auto& c : refused) {
        std::string arguments = c.arguments;
        const auto name = arguments.find("-o ") + 3;
        arguments.insert(name, folder.string() + "/");
        const Outcome result = run("render " + at("pcm16.wav") + arguments);
        EXPECT_EQ(result.status, 1) << c.arguments << "\n" << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    }
    for (const char* never : {"n.flac", "o.flac", "p.ogg", "q.wav", "r.wav"}) EXPECT_EQ(filesIn().count(never), 0u);
}

TEST_F(Formats, MetadataIsCopied) {
    writeAudio(at("in.wav"), noise(2, 1000, 44100, 4));
    {
        SF_INFO info{};
        SNDFILE* file = sf_open(at("in.wav").c_str(), SFM_RDWR, &info);
        ASSERT_NE(file, nullptr);
        sf_set_string(file, SF_STR_TITLE, "Night Drive");
        sf_set_string(file, SF_STR_ARTIST, "The Testers");
        sf_set_string(file, SF_STR_COMMENT, "take 3");
        sf_close(file);
    }
    for (const char* name : {"out.flac", "out.ogg", "out.wav"}) {
        const Outcome result = run("render " + at("in.wav") + " -o " + at(name) + " -q");
        ASSERT_EQ(result.status, 0) << result.output;
        SF_INFO info{};
        SNDFILE* file = sf_open(at(name).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        EXPECT_STREQ(sf_get_string(file, SF_STR_TITLE), "Night Drive") << name;
        EXPECT_STREQ(sf_get_string(file, SF_STR_ARTIST), "The Testers") << name;
        EXPECT_STREQ(sf_get_string(file, SF_STR_COMMENT), "take 3") << name;
        sf_close(file);
    }
}

TEST_F(Formats, StandardInputAndOutputCarryOnlyAudio) {
    writeAudio(at("in.wav"), noise(2, 20000, 44100, 5));
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("file.wav") + " -q").status, 0);
    // Standard input that is a file, and one that is a pipe.
    Outcome result = run(Launch{{"render", "-", "-o", "-"}, at("in.wav"), at("fromfile.wav"), false, false});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(at("fromfile.wav")), readFile(at("file.wav")));
    EXPECT_NE(result.output.find("wrote standard output"), std::string::npos) << result.output;
    const std::string pipeline = "cat " + at("in.wav") + " | " + tool + " render - -o - -q > " + at("frompipe.wav");
    ASSERT_EQ(std::system(pipeline.c_str()), 0);
    EXPECT_EQ(readFile(at("frompipe.wav")), readFile(at("file.wav")));
    // Standard input read only once; a name needed to write into a folder.
    fs::create_directories(folder / "out");
    EXPECT_EQ(run("render - - -o " + at("out")).status, 1);
    EXPECT_EQ(run(Launch{{"render", "-", "-o", at("out")}, at("in.wav"), {}, false, false}).status, 1);
}

TEST_F(Formats, AnInputCutShortRendersWhatIsThereAndWarnsOnce) {
    Audio whole = noise(2, 20000, 44100, 6);
    whole.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    writeAudio(at("whole.wav"), whole);
    const std::string bytes = readFile(at("whole.wav"));
    {
        std::ofstream cut(at("cut.wav"), std::ios::binary);
        cut.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
    }
    const Outcome result = run("render " + at("cut.wav") + " -o " + at("out.wav") + " --tail 0 --float");
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string warning = "warning: '" + at("cut.wav") + "': the file ends before its header says";
    const auto first = result.output.find(warning);
    ASSERT_NE(first, std::string::npos) << result.output;
    EXPECT_EQ(result.output.find(warning, first + 1), std::string::npos) << result.output;
    const std::size_t present = (bytes.size() / 2 - 44) / 4;  // whole frames after the header
    EXPECT_EQ(readAudio(at("out.wav")).samples.size(), present * 2);
    // The same warning under -q.
    EXPECT_NE(run("render " + at("cut.wav") + " -o " + at("q.wav") + " -q").output.find(warning), std::string::npos);
}

}  // namespace
