#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "flanger/tempo_flanger.h"

namespace {

constexpr char kSentinel = '#';
constexpr std::size_t kBuffer = 64;

class FlangerTexts : public ::testing::Test {
protected:
    TempoFlanger flanger{nullptr};

    // Sends a text opcode into a buffer of sentinels; fails when the text is
    // longer than width or anything past its terminator was written.
    std::string read(std::int32_t opcode, std::int32_t index, std::size_t width) {
        char buffer[kBuffer];
        std::memset(buffer, kSentinel, sizeof buffer);
        flanger.dispatcher(opcode, index, 0, buffer, 0.0f);
        const void* end = std::memchr(buffer, '\0', width + 1);
        EXPECT_NE(end, nullptr) << "opcode " << opcode << " index " << index << ": no terminator within "
                                << width + 1 << " bytes";
        if (end == nullptr) return {};
        const auto length = static_cast<std::size_t>(static_cast<const char*>(end) - buffer);
        for (std::size_t i = length + 1; i < sizeof buffer; ++i) {
            EXPECT_EQ(buffer[i], kSentinel) << "byte " << i << " written past the text";
        }
        return std::string(buffer, length);
    }
    std::string display(std::int32_t index) { return read(kOpGetParamDisplay, index, 8); }
    std::string name(std::int32_t index) { return read(kOpGetParamName, index, 13); }
    std::string label(std::int32_t index) { return read(kOpGetParamLabel, index, 9); }
    std::string programName() { return read(kOpGetProgramName, 0, 23); }
    void set(FlangerParameter index, float value) { flanger.setParameter(index, value); }
    bool untouched(std::int32_t opcode, std::int32_t index) {
        char buffer[kBuffer];
        std::memset(buffer, kSentinel, sizeof buffer);
        flanger.dispatcher(opcode, index, 0, buffer, 0.0f);
        for (char c : buffer) {
            if (c != kSentinel) return false;
        }
        return true;
    }
};

TEST_F(FlangerTexts, NamesAndLabelsWithTheirSpacing) {
    const char* names[] = {" Tempo ",    " Resolution ", " Send ",     " Depth ",
                           " Mod Amt ", " Waveform ",   " FeedBack ", " 12 dB Boost "};
    const char* labels[] = {"   BPM   ", " note(s) ", "    %    ", "    %    ",
                            "    %    ", "   ---   ", "   ---   ", "    dB   "};
    for (std::int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(name(i), names[i]);
        EXPECT_EQ(label(i), labels[i]);
        EXPECT_EQ(label(i).size(), 9u);
    }
}

TEST_F(FlangerTexts, DefaultDisplays) {
    const char* expected[] = {"120", "64", "100", "25", "25", "sinus", "0.495000", "0.000000"};
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(display(i), expected[i]) << "parameter " << i;
}

TEST_F(FlangerTexts, WholeNumberDisplaysRoundHalvesUp) {
    set(kParamTempo, 0.0f);
    EXPECT_EQ(display(kParamTempo), "60");
    set(kParamTempo, 1.0f);
    EXPECT_EQ(display(kParamTempo), "200");
    set(kParamTempo, 0.375f);  // 112.5
    EXPECT_EQ(display(kParamTempo), "113");
    set(kParamTempo, 0.125f);  // 77.5
    EXPECT_EQ(display(kParamTempo), "78");
    set(kParamSend, 0.125f);  // 12.5
    EXPECT_EQ(display(kParamSend), "13");
    set(kParamSend, 0.0f);
    EXPECT_EQ(display(kParamSend), "0");
    set(kParamModAmount, 0.0f);
    EXPECT_EQ(display(kParamModAmount), "off");
    set(kParamModAmount, 0.01f);
    EXPECT_EQ(display(kParamModAmount), "1");
    set(kParamDepth, 0.004f);  // 0.4 rounds to nothing: shown as 0
    EXPECT_EQ(display(kParamDepth), "0");
    set(kParamDepth, -0.25f);
    EXPECT_EQ(display(kParamDepth), "-25");
    set(kParamDepth, -0.004f);
    EXPECT_EQ(display(kParamDepth), "0");
    set(kParamSend, -0.0f);
    EXPECT_EQ(display(kParamSend), "0");
}

TEST_F(FlangerTexts, ResolutionShowsBeatsPerCycle) {
    set(kParamResolution, 0.0f);
    EXPECT_EQ(display(kParamResolution), "1");
    set(kParamResolution, 1.0f);
    EXPECT_EQ(display(kParamResolution), "96");
    set(kParamResolution, 0.65f);
    EXPECT_EQ(display(kParamResolution), "16");
}

TEST_F(FlangerTexts, WaveformZoneEdges) {
    const struct {
        float value;
        const char* text;
    } zones[] = {{0.0f, "sinus"},     {0.33333334f, "sinus"}, {0.34f, "triangle"},
                 {0.6666667f, "triangle"}, {0.67f, "sawtooth"}, {1.0f, "sawtooth"}};
    for (const auto& zone : zones) {
        set(kParamWaveform, zone.value);
        EXPECT_EQ(display(kParamWaveform), zone.text) << zone.value;
    }
    set(kParamWaveform, 1.2f);
    EXPECT_TRUE(untouched(kOpGetParamDisplay, kParamWaveform));
    set(kParamWaveform, NAN);
    EXPECT_TRUE(untouched(kOpGetParamDisplay, kParamWaveform));
}

TEST_F(FlangerTexts, FeedbackAndBoost) {
    set(kParamFeedback, 1.0f);
    EXPECT_EQ(display(kParamFeedback), "0.990000");
    set(kParamFeedback, 0.1f);
    EXPECT_EQ(display(kParamFeedback), "0.098999");  // cut, not rounded
    set(kParamBoost, 0.0f);
    EXPECT_EQ(display(kParamBoost), "  -oo   ");
    set(kParamBoost, 0.5f);
    EXPECT_EQ(display(kParamBoost), "6.020599");
    set(kParamBoost, 1.0f);
    EXPECT_EQ(display(kParamBoost), "12.04119");
}

TEST_F(FlangerTexts, IndicesOutsideTheRangeLeaveTheBufferUntouched) {
    for (std::int32_t index : {8, -1, 100, INT32_MIN, INT32_MAX}) {
        EXPECT_TRUE(untouched(kOpGetParamName, index)) << index;
        EXPECT_TRUE(untouched(kOpGetParamLabel, index)) << index;
        EXPECT_TRUE(untouched(kOpGetParamDisplay, index)) << index;
    }
}

TEST_F(FlangerTexts, ProgramNames) {
    EXPECT_EQ(programName(), "--- Default ---");
    flanger.dispatcher(kOpSetProgram, 0, 15, nullptr, 0.0f);
    EXPECT_EQ(programName(), "Init 15");
    flanger.dispatcher(kOpSetProgram, 0, 3, nullptr, 0.0f);
    EXPECT_EQ(programName(), "Init 3");
    char newName[] = "Jet Sweep";
    flanger.dispatcher(kOpSetProgramName, 0, 0, newName, 0.0f);
    EXPECT_EQ(programName(), "Jet Sweep");
    flanger.dispatcher(kOpSetProgram, 0, 4, nullptr, 0.0f);
    EXPECT_EQ(programName(), "Init 4");
    flanger.dispatcher(kOpSetProgram, 0, 3, nullptr, 0.0f);
    EXPECT_EQ(programName(), "Jet Sweep");
    char init[] = "Init";
    flanger.dispatcher(kOpSetProgramName, 0, 0, init, 0.0f);
    EXPECT_EQ(programName(), "Init 3");
    char initLower[] = "init";
    flanger.dispatcher(kOpSetProgramName, 0, 0, initLower, 0.0f);
    EXPECT_EQ(programName(), "init");

    flanger.dispatcher(kOpSetProgram, 0, 0, nullptr, 0.0f);
    char rename[] = "Mine";
    flanger.dispatcher(kOpSetProgramName, 0, 0, rename, 0.0f);
    EXPECT_EQ(programName(), "--- Default ---");
}

TEST_F(FlangerTexts, LongNamesAreCutAndNeverReadPastTwentyFourBytes) {
    flanger.dispatcher(kOpSetProgram, 0, 5, nullptr, 0.0f);
    char longName[] = "A name far longer than twenty-three characters";
    flanger.dispatcher(kOpSetProgramName, 0, 0, longName, 0.0f);
    EXPECT_EQ(programName(), "A name far longer than ");

    // An unterminated name at the very end of its allocation: ASan reports
    // any read past the 24 bytes.
    auto* exact = new char[24];
    std::memset(exact, 'x', 24);
    flanger.dispatcher(kOpSetProgramName, 0, 0, exact, 0.0f);
    delete[] exact;
    EXPECT_EQ(programName(), std::string(23, 'x'));

    char empty[] = "";
    flanger.dispatcher(kOpSetProgramName, 0, 0, empty, 0.0f);
    EXPECT_EQ(programName(), "");
}

// Every display stays within 8 characters, whatever value it shows.
TEST_F(FlangerTexts, HostileValuesKeepEveryDisplayWithinItsWidth) {
    const float hostile[] = {NAN,
                             -NAN,
                             INFINITY,
                             -INFINITY,
                             1e30f,
                             -1e30f,
                             std::numeric_limits<float>::max(),
                             std::numeric_limits<float>::lowest(),
                             std::numeric_limits<float>::denorm_min(),
                             -std::numeric_limits<float>::denorm_min(),
                             std::numeric_limits<float>::min(),
                             -0.0f,
                             -1.0f,
                             1e6f,
                             -1e6f,
                             714285.7f,
                             -714285.7f,
                             99999.99f,
                             1.5f};
    for (std::int32_t index = 0; index < 8; ++index) {
        for (float value : hostile) {
            flanger.setParameter(index, value);
            for (std::int32_t shown = 0; shown < 8; ++shown) {
                char buffer[kBuffer];
                std::memset(buffer, kSentinel, sizeof buffer);
                flanger.dispatcher(kOpGetParamDisplay, shown, 0, buffer, 0.0f);
                if (buffer[0] == kSentinel) continue;  // Waveform above 1 leaves the text
                const void* end = std::memchr(buffer, '\0', 9);
                ASSERT_NE(end, nullptr) << "parameter " << index << " = " << value << ", display " << shown;
                for (std::size_t i = static_cast<std::size_t>(static_cast<const char*>(end) - buffer) + 1;
                     i < sizeof buffer; ++i) {
                    ASSERT_EQ(buffer[i], kSentinel);
                }
            }
        }
        flanger.setProgram(0);
    }
    set(kParamTempo, 1e30f);
    EXPECT_EQ(display(kParamTempo), " Huge!  ");
    set(kParamSend, NAN);
    EXPECT_EQ(display(kParamSend), "  NaN   ");
    set(kParamFeedback, NAN);
    EXPECT_EQ(display(kParamFeedback), "  NaN   ");
    set(kParamBoost, NAN);
    EXPECT_EQ(display(kParamBoost), "  NaN   ");
    set(kParamSend, -1e6f);
    EXPECT_EQ(display(kParamSend), " Huge!  ");
    set(kParamSend, 999999.9f);  // float(99999987.5) is 99999984: 8 digits fit
    EXPECT_EQ(display(kParamSend), "99999984");
}

}  // namespace
