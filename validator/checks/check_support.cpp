#include "validator/checks/check_support.h"

#include "validator/checks/check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "validator/call_log.h"
#include "validator/guarded_memory.h"

namespace checksupport {
namespace {

constexpr std::size_t kShortHostText = 64;  // what some hosts reserve
constexpr std::size_t kShortTexts = 8;      // what hosts of the interface's generation often show
constexpr double kWorkSeconds = 2.0;        // roughly what the instance-heavy checks may spend making instances

}  // namespace

std::string str(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::shared_ptr<PluginLibrary> openLibrary(const std::string& plugin) {
    CallLog::about("opening the library (its constructors run)");
    return PluginLibrary::open(plugin);
}

std::unique_ptr<PluginInstance> makeInstance(const std::shared_ptr<PluginLibrary>& library,
                                             std::shared_ptr<HostSide> host) {
    CallLog::about("main");
    auto instance = PluginInstance::create(library, std::move(host));
    CallLog::about("dispatcher opcode 0 (open)");
    instance->open();
    return instance;
}

std::intptr_t call(PluginInstance& plugin, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                   float opt) {
    CallLog::about("dispatcher opcode %d (index %d, value %lld, opt %g)", static_cast<int>(opcode),
                   static_cast<int>(index), static_cast<long long>(value), static_cast<double>(opt));
    return plugin.dispatch(opcode, index, value, ptr, opt);
}

void setParameter(PluginInstance& plugin, std::int32_t index, float value) {
    CallLog::about("setParameter(%d, %g)", static_cast<int>(index), static_cast<double>(value));
    plugin.setParameter(index, value);
}

float getParameter(PluginInstance& plugin, std::int32_t index) {
    CallLog::about("getParameter(%d)", static_cast<int>(index));
    return plugin.getParameter(index);
}

void switchOn(PluginInstance& plugin, float rate, std::int32_t block) {
    call(plugin, kOpSetSampleRate, 0, 0, nullptr, rate);
    call(plugin, kOpSetBlockSize, 0, block);
    call(plugin, kOpMainsChanged, 0, 1);
}

void processBlock(PluginInstance& plugin, float** inputs, float** outputs, std::int32_t outputCount,
                  std::int32_t frames, bool adding) {
    if (!adding && plugin.replaces()) {
        CallLog::about("processReplacing of %d frames", static_cast<int>(frames));
        plugin.processReplacing(inputs, outputs, frames);
        return;
    }
    if (!adding) {
        for (std::int32_t c = 0; c < outputCount; ++c) std::fill_n(outputs[c], frames, 0.0f);
    }
    CallLog::about("process of %d frames", static_cast<int>(frames));
    plugin.process(inputs, outputs, frames);
}

bool finite(float** channels, std::int32_t count, std::int32_t frames) {
    for (std::int32_t c = 0; c < count; ++c) {
        for (std::int32_t i = 0; i < frames; ++i) {
            if (!std::isfinite(channels[c][i])) return false;
        }
    }
    return true;
}

TextReading readText(PluginInstance& plugin, std::int32_t opcode, std::int32_t index, const char* what) {
    static GuardedRegion buffer(kTextBuffer, "the text buffer");
    CallLog::about("dispatcher opcode %d (%s, index %d) into a %zu-byte buffer", static_cast<int>(opcode), what,
                   static_cast<int>(index), kTextBuffer);
    return plugin.readText(opcode, index, kTextBuffer - 1, buffer.data(), kTextBuffer);
}

bool judgeText(Report& report, const TextReading& text, const std::string& what, TextTally& tally) {
    if (!text.touched) return true;  // left as it was: nothing to show
    if (!text.terminated) {
        report.fail(what + ": no terminator within " + std::to_string(kTextBuffer) + " bytes");
        return false;
    }
    if (text.text.size() >= kShortHostText) {
        ++tally.overShortHost;
        report.warn(what + " has " + std::to_string(text.text.size()) + " characters: it would overrun a host's " +
                    std::to_string(kShortHostText) + "-byte buffer");
    }
    tally.overShortTexts += text.text.size() > kShortTexts ? 1 : 0;
    tally.controlCharacters += std::any_of(text.text.begin(), text.text.end(),
                                           [](char c) { return static_cast<unsigned char>(c) < 32; })
                                   ? 1
                                   : 0;
    return true;
}

std::vector<float> renderNoise(PluginInstance& plugin, std::uint32_t seed) {
    const EffectRecord* r = plugin.record();
    GuardedChannels in(r->numInputs, kAnnouncedBlock, "input"), out(r->numOutputs, kAnnouncedBlock, "output");
    std::vector<float> rendered;
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (int block = 0; block < 86; ++block) {
        for (std::int32_t ch = 0; ch < in.count(); ++ch) {
            float* samples = in.channel(ch, kAnnouncedBlock);
            for (std::int32_t i = 0; i < kAnnouncedBlock; ++i) samples[i] = uniform(random);
        }
        processBlock(plugin, in.block(kAnnouncedBlock), out.block(kAnnouncedBlock), out.count(), kAnnouncedBlock);
        for (std::int32_t ch = 0; ch < out.count(); ++ch) {
            const float* samples = out.channel(ch, kAnnouncedBlock);
            rendered.insert(rendered.end(), samples, samples + kAnnouncedBlock);
        }
    }
    return rendered;
}

}  // namespace checksupport

int Context::affordable(int wanted) const {
    if (instanceSeconds <= 0) return wanted;
    return std::clamp(static_cast<int>(checksupport::kWorkSeconds / instanceSeconds), std::min(wanted, 3), wanted);
}
