#include "cli/render_session.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/encoding.h"
#include "cli/messages.h"
#include "cli/output_file.h"
#include "cli/tool_error.h"

namespace {

constexpr double kMaxTailSeconds = 3600.0;
constexpr std::int32_t kMaxBlockSize = 65536;
constexpr double kLongestAutomaticTail = 10.0;  // seconds, as the renderer's automatic tail

std::optional<double> parseTail(const std::string& text) {
    if (text == "auto") return std::nullopt;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0.0 && seconds <= kMaxTailSeconds)) {
        throw usageError("--tail: '" + text + "' is not a number of seconds from 0 to 3600, or 'auto'");
    }
    return seconds;
}

std::shared_ptr<PluginLibrary> openPlugin(const std::string& path) {
    try {
        auto library = PluginLibrary::open(path);
        PluginInstance::create(library);  // refuses records that are not of the interface
        return library;
    } catch (const PluginError& error) {
        throw processingError(std::string("plug-in ") + error.what());
    }
}

std::string decibels(float peak) {
    if (peak <= 0.0f) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    return text;
}

std::string formatted(const char* format, double a, double b = 0.0, double c = 0.0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

RenderSession::RenderSession(const CommonOptions& common, const SessionOptions& session,
                             const RenderOptionsText& text, const std::vector<std::string>& defaults)
    : common(common), text(text) {
    if (text.blockSize < 1 || text.blockSize > kMaxBlockSize) {
        throw usageError("--block: " + std::to_string(text.blockSize) + " is not a block size from 1 to 65536");
    }
    options = RenderOptions{text.blockSize, parseTail(text.tail), false};
    library = openPlugin(common.plugin);
    settings = resolveSettings(library, session.program, session.sets, defaults);
    channelProbe = newInstance(settings);
    lfoTempo = LfoTempo::of(*channelProbe);
    if (text.trueTempo && !lfoTempo) {
        throw usageError("--true-tempo: the plug-in '" + common.plugin + "' has no tempo-synchronised LFO this tool knows");
    }
}

int RenderSession::outputFormat(const std::string& output, int inputFormat) const {
    return chooseOutputFormat(output, inputFormat, text.encoding);
}

std::unique_ptr<PluginInstance> RenderSession::newInstance(const Settings& chosen) const {
    try {
        auto instance = PluginInstance::create(library);
        instance->open();
        applySettings(*instance, chosen);
        return instance;
    } catch (const PluginError& error) {
        throw processingError(std::string("plug-in ") + error.what());
    }
}

Settings RenderSession::settingsFor(int sampleRate, std::string& said) {
    if (!text.trueTempo || !lfoTempo || sampleRate == static_cast<int>(LfoTempo::kTableRate)) return settings;
    Settings adjusted = settings;
    const float value = lfoTempo->trueTempoValue(sampleRate);
    auto& parameters = adjusted.parameters;
    auto at = parameters.begin();
    while (at != parameters.end() && at->index < LfoTempo::kTempoIndex) ++at;
    if (at != parameters.end() && at->index == LfoTempo::kTempoIndex) {
        at->value = value;
    } else {
        parameters.insert(at, {LfoTempo::kTempoIndex, value});
    }
    said = formatted("Tempo set to norm:%.6f for %g BPM at ", static_cast<double>(value), lfoTempo->bpm()) +
           std::to_string(sampleRate) + " Hz";
    return adjusted;
}

void RenderSession::noteSampleRate(const RenderSource& source) {
    if (text.trueTempo || !lfoTempo || !lfoTempo->running() ||
        source.sampleRate == static_cast<int>(LfoTempo::kTableRate)) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(notedMutex);
        if (!notedRates.insert(source.sampleRate).second) return;
    }
    messages::warning(source.name + " is at " + std::to_string(source.sampleRate) +
                      " Hz; the plug-in's LFO is timed for 44100 Hz, so its cycle follows " +
                      formatted("%.1f BPM instead of %g (--true-tempo keeps %g)", lfoTempo->heardBpm(source.sampleRate),
                                lfoTempo->bpm(), lfoTempo->bpm()));
}

void RenderSession::noteChannels(int fileChannels) {
    const EffectRecord* record = channelProbe->record();
    if (record->numInputs == 2 && record->numOutputs == 2) return;
    if (notedChannels.exchange(true)) return;
    const std::string fed = fileChannels == 1 ? "the file's one channel feeds" : "the file's two channels feed";
    std::string what = "the plug-in has " + std::to_string(record->numInputs) + " inputs and " +
                       std::to_string(record->numOutputs) + " outputs: ";
    if (record->numInputs == 0) {
        what += "it takes no input; ";
    } else if (record->numInputs == 1) {
        what += fileChannels == 1 ? fed + " its input; " : "the mix of the file's two channels feeds its input; ";
    } else {
        what += fed + " its inputs 1 and 2" + (record->numInputs > 2 ? ", the others are silent; " : "; ");
    }
    if (record->numOutputs == 0) {
        what += "it gives no output, so the file is silent";
    } else if (record->numOutputs == 1) {
        what += "its one output is written" + std::string(fileChannels == 2 ? " to both channels" : "");
    } else {
        what += "its outputs 1" + std::string(fileChannels == 2 ? " and 2 are" : " (and 2, mixed where they differ) are") +
                " written" + (record->numOutputs > 2 ? ", the others left out" : "");
    }
    messages::note(what);
}

void RenderSession::render(const RenderSource& source, const std::string& output, ProgressLine* progress) {
    const auto start = std::chrono::steady_clock::now();
    noteChannels(source.channels);
    const int format = outputFormat(output, source.format);
    noteSampleRate(source);
    std::string tempoSaid;
    const auto instance = newInstance(settingsFor(source.sampleRate, tempoSaid));
    OutputFile file(output);
    const double tail = options.tailSeconds.value_or(kLongestAutomaticTail);
    const std::int64_t longest =
        source.frames < 0 ? -1 : source.frames + static_cast<std::int64_t>(std::ceil(tail * source.sampleRate));
    AudioWriter writer(file, source.channels, source.sampleRate, format, source.strings, longest);
    RenderOptions fileOptions = options;
    fileOptions.integerOutput = isIntegerPcm(format);
    const RenderResult result =
        renderAudio(*instance, source.channels, source.sampleRate, source.read, writer, fileOptions, progress);
    writer.commit();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (source.reader != nullptr && !source.reader->shortfall().empty()) {
        messages::warning(source.name + ": " + source.reader->shortfall() + "; rendered the " +
                          std::to_string(result.inputFrames) + " frames there are");
    }
    if (result.nonFiniteInput > 0) {
        messages::warning(source.name + ": " + std::to_string(result.nonFiniteInput) + " sample" +
                          (result.nonFiniteInput == 1 ? " was not a finite number" : "s were not finite numbers") +
                          "; fed as silence");
    }
    if (result.nonFiniteOutput > 0) {
        messages::warning(file.name() + ": the plug-in gave " + std::to_string(result.nonFiniteOutput) + " sample" +
                          (result.nonFiniteOutput == 1 ? " that was not a finite number" : "s that were not finite numbers") +
                          "; written as silence");
    }
    if (result.unequalMono) {
        messages::warning(file.name() + ": the plug-in's left and right outputs differ for mono input; wrote their mix");
    }
    if (fileOptions.integerOutput && result.clipped > 0) {
        messages::warning(file.name() + ": " + std::to_string(result.clipped) +
                          " samples clipped (--float, or a format that holds floats, keeps them)");
    }
    if (common.quiet) return;
    const double seconds = static_cast<double>(result.outputFrames) / source.sampleRate;
    const int written = writer.writtenFormat();
    const bool rf64 = (written & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64;
    std::string line = "wrote " + file.name() + " (" + describeFormat(written) + (rf64 ? ": a WAV past 4 GiB" : "") +
                       "): " +
                       formatted("%.2f s of audio in %.2f s (%.0fx realtime), peak ", seconds, elapsed,
                                 elapsed > 0 ? seconds / elapsed : 0.0) +
                       decibels(result.peak);
    if (!tempoSaid.empty()) line += "; " + tempoSaid;
    messages::plain(line);
}
