// What the host shows of TempoFlanger: parameter names, labels and displays,
// and the program names.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "flanger/flanger_parameters.h"
#include "flanger/tempo_flanger.h"
#include "host/value_text.h"

namespace {

constexpr const char* kDefaultProgramName = "--- Default ---";
constexpr const char* kInitName = "Init";
constexpr double kLargestRounded = 99999999.0;  // 8 digits; a sign leaves room for 7
constexpr double kLargestRoundedNegative = 9999999.0;
constexpr std::size_t kNameBytes = sizeof FlangerProgram::name;

const char* shapeName(WaveShape shape) {
    switch (shape) {
        case WaveShape::sine: return "sinus";
        case WaveShape::triangle: return "triangle";
        case WaveShape::saw: return "sawtooth";
        case WaveShape::none: break;
    }
    return "";
}

}  // namespace

void TempoFlanger::getParameterName(std::int32_t index, char* text) {
    if (!isFlangerParameter(index)) return;
    writeText(text, kParameterInfo[index].name, kParamNameWidth);
}

void TempoFlanger::getParameterLabel(std::int32_t index, char* label) {
    if (!isFlangerParameter(index)) return;
    writeText(label, kParameterInfo[index].label, kParamLabelWidth);
}

void TempoFlanger::getParameterDisplay(std::int32_t index, char* text) {
    switch (index) {
        case kParamTempo: formatRounded(flangerscale::bpm(engine.getParameter(kParamTempo)), text); break;
        case kParamResolution: {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(engine.cycleBeats()));
            writeText(text, digits, kParamDisplayWidth);
            break;
        }
        case kParamSend: formatRounded(flangerscale::percent(engine.getParameter(kParamSend)), text); break;
        case kParamDepth: formatRounded(flangerscale::percent(engine.getParameter(kParamDepth)), text); break;
        case kParamModAmount:
            if (engine.getParameter(kParamModAmount) == 0.0f) {
                writeText(text, "off", kParamDisplayWidth);
            } else {
                formatRounded(flangerscale::percent(engine.getParameter(kParamModAmount)), text);
            }
            break;
        case kParamWaveform:
            if (const auto shape = flangerscale::waveShape(engine.getParameter(kParamWaveform), engine.waveformZoneWidth())) {
                writeText(text, shapeName(*shape), kParamDisplayWidth);
            }
            break;
        case kParamFeedback: formatFloat(flangerscale::feedbackGain(engine.getParameter(kParamFeedback)), text); break;
        case kParamBoost: formatDecibels(engine.outputGainValue(), text); break;
        default: break;
    }
}

// The value as a whole number, halves rounded away from zero. A value that
// rounds to 0 shows "0"; a negative one keeps its sign; one that needs more
// than 8 characters shows " Huge!  ", and NaN "  NaN   ".
void TempoFlanger::formatRounded(float value, char* text) {
    if (std::isnan(value)) {
        writeText(text, kNotANumberText, kParamDisplayWidth);
        return;
    }
    const bool negative = value < 0.0f;
    const double whole = std::floor(std::fabs(static_cast<double>(value)) + 0.5);
    if (whole > (negative ? kLargestRoundedNegative : kLargestRounded)) {
        writeText(text, kHugeText, kParamDisplayWidth);
        return;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%s%u", negative && whole != 0.0 ? "-" : "",
                  static_cast<unsigned>(whole));
    writeText(text, digits, kParamDisplayWidth);
}

void TempoFlanger::getProgramName(char* name) {
    std::memcpy(engine.programRecord(0).name, kDefaultProgramName, std::strlen(kDefaultProgramName) + 1);
    const char* current = engine.programRecord(currentProgram).name;
    if (std::strcmp(current, kInitName) == 0) {
        char numbered[32];
        std::snprintf(numbered, sizeof numbered, "%s %d", current, static_cast<int>(currentProgram));
        writeText(name, numbered, kProgramNameWidth);
    } else {
        writeText(name, current, kProgramNameWidth);
    }
}

// Takes at most 23 characters; bytes past the 24 a name may take are never
// read, so an unterminated name is cut there.
void TempoFlanger::setProgramName(char* name) {
    std::size_t length = 0;
    while (length < kNameBytes && name[length] != '\0') ++length;
    writeText(engine.programRecord(currentProgram).name, std::string_view(name, length),
              kProgramNameWidth);
}
