#include "cli/lfo_tempo.h"

#include <cstdlib>

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

std::optional<LfoTempo> LfoTempo::of(PluginInstance& instance) {
    if (instance.record()->uniqueId != kFlangerId || instance.numParams() <= kModAmountIndex ||
        trimmed(instance.parameterName(kTempoIndex)) != "Tempo" ||
        trimmed(instance.parameterName(kResolutionIndex)) != "Resolution" ||
        trimmed(instance.parameterName(kModAmountIndex)) != "Mod Amt") {
        return std::nullopt;
    }
    const float tempo = instance.getParameter(kTempoIndex);
    // As the plug-in works it out: in double, rounded to a float.
    const auto bpm = static_cast<float>(kSlowestBpm + kBpmSpan * static_cast<double>(tempo));
    const unsigned beats = static_cast<unsigned>(std::strtoul(instance.parameterDisplay(kResolutionIndex).c_str(), nullptr, 10));
    const bool running = trimmed(instance.parameterDisplay(kModAmountIndex)) != "off";
    return LfoTempo(bpm, beats, running);
}

float LfoTempo::trueTempoValue(double rate) const {
    const double bpmAtTableRate = askedBpm * kTableRate / rate;
    return static_cast<float>((bpmAtTableRate - kSlowestBpm) / kBpmSpan);
}
