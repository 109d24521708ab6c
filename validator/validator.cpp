#include "validator/validator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>

#include "validator/child_process.h"
#include "loader/plugin_instance.h"

namespace {

constexpr int kCheckSeconds = 60;           // a check that takes longer hangs
constexpr std::size_t kHostBuffer = 64;     // what a careful host reserves for a text
constexpr std::size_t kShortTexts = 8;      // what hosts of the interface's generation often reserve
constexpr double kBudgetRate = 44100.0;
constexpr std::int32_t kCostBlock = 64;

// Findings of one check, written as they come so that a crash keeps them.
class Report {
public:
    explicit Report(const std::string& file) : out(file) {}
    void pass(const std::string& detail) { write("PASS", detail); }
    void warn(const std::string& detail) { write("WARN", detail); }
    void note(const std::string& detail) { write("NOTE", detail); }
    void fail(const std::string& detail) { write("FAIL", detail); }

private:
    void write(const char* result, const std::string& detail) {
        out << result << '\t' << detail << std::endl;
    }
    std::ofstream out;
};

std::unique_ptr<PluginInstance> instance(const std::string& plugin) {
    auto created = PluginInstance::create(PluginLibrary::open(plugin));
    created->open();
    return created;
}

bool printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 32 && c != 127; });
}

// Stereo (or wider) buffers for the plug-in's channel counts.
struct Channels {
    Channels(std::int32_t count, std::size_t frames) : data(static_cast<std::size_t>(std::max(count, 1))) {
        for (auto& channel : data) channel.assign(frames, 0.0f);
        for (auto& channel : data) pointers.push_back(channel.data());
    }
    void noise(std::mt19937& random) {
        std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
        for (auto& channel : data) {
            for (float& s : channel) s = uniform(random);
        }
    }
    bool finite(std::size_t frames) const {
        for (const auto& channel : data) {
            for (std::size_t i = 0; i < frames; ++i) {
                if (!std::isfinite(channel[i])) return false;
            }
        }
        return true;
    }
    std::vector<std::vector<float>> data;
    std::vector<float*> pointers;
};

void checkLoad(Report& report, const std::string& plugin, bool) {
    const auto library = PluginLibrary::open(plugin);  // throws with the reason
    report.pass("the file opens and exports main");
}

void checkVersionFirst(Report& report, const std::string& plugin, bool) {
    auto host = std::make_shared<HostSide>(2400);
    auto plug = PluginInstance::create(PluginLibrary::open(plugin), host);
    const auto requests = host->requests();
    if (requests.empty() || requests[0].request != kRequestVersion || requests[0].effect != nullptr) {
        report.fail("main's first request is not the version request with a null record");
    } else {
        report.pass("main asks for the host's version first");
    }
}

void checkHostRefusal(Report& report, const std::string& plugin, bool) {
    auto host = std::make_shared<HostSide>(0);
    try {
        PluginInstance::create(PluginLibrary::open(plugin), host);
        report.fail("a host answering 0 to the version request still got an instance");
    } catch (const PluginError&) {
        if (host->requests().size() == 1) {
            report.pass("a host answering 0 gets null and no further request");
        } else {
            report.warn("a host answering 0 gets null, after " + std::to_string(host->requests().size()) + " requests");
        }
    }
}

void checkRecord(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    const EffectRecord* r = plug->record();
    std::string problems;
    if (r->numParams < 0 || r->numParams > 10000) problems += " parameter count " + std::to_string(r->numParams) + ";";
    if (r->numPrograms < 0 || r->numPrograms > 100000) problems += " program count " + std::to_string(r->numPrograms) + ";";
    if (r->numInputs < 0 || r->numInputs > 64 || r->numOutputs < 0 || r->numOutputs > 64) problems += " channel counts;";
    if (r->object == nullptr) problems += " no object;";
    if (r->process == nullptr || r->setParameter == nullptr || r->getParameter == nullptr) problems += " missing entry point;";
    if ((r->flags & kFlagCanReplacing) != 0 && r->processReplacing == nullptr) problems += " replacing flag without entry;";
    if (!problems.empty()) {
        report.fail("record:" + problems);
        return;
    }
    char id[5] = {};
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((static_cast<std::uint32_t>(r->uniqueId) >> (24 - 8 * i)) & 0xFF);
        id[i] = std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    }
    report.pass(std::string("magic, counts and object sane: '") + id + "', " + std::to_string(r->numInputs) + " in, " +
                std::to_string(r->numOutputs) + " out, " + std::to_string(r->numParams) + " parameters, " +
                std::to_string(r->numPrograms) + " programs, flags " + std::to_string(r->flags));
}

void checkInstances(Report& report, const std::string& plugin, bool) {
    const auto library = PluginLibrary::open(plugin);
    std::vector<std::unique_ptr<PluginInstance>> all;
    for (int i = 0; i < 20; ++i) all.push_back(PluginInstance::create(library));
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            if (all[i]->record() == all[j]->record()) {
                report.fail("two calls of main answered the same record");
                return;
            }
        }
    }
    if (all[0]->numParams() > 0) {
        const float before = all[1]->getParameter(0);
        all[0]->setParameter(0, before > 0.5f ? 0.1f : 0.9f);
        if (all[1]->getParameter(0) != before) {
            report.fail("setting a parameter of one instance changed another");
            return;
        }
    }
    report.pass("20 calls of main give 20 independent instances");
}

void checkOpcodes(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    const bool hasEditor = (plug->record()->flags & 1) != 0;
    char text[256] = {};
    void* rect = nullptr;
    for (std::int32_t opcode = 0; opcode <= 24; ++opcode) {
        if (opcode == kOpClose) continue;
        if (hasEditor && ((opcode >= kOpEditGetRect && opcode <= kOpEditClose) || opcode == kOpEditIdle)) continue;
        std::memset(text, 0, sizeof text);
        std::intptr_t value = 0;
        float opt = 0.0f;
        void* ptr = nullptr;
        if (opcode >= kOpSetProgramName && opcode <= kOpGetParamName) ptr = text;
        if (opcode == kOpSetProgramName) std::strcpy(text, "Validated");
        if (opcode == kOpSetSampleRate) opt = 44100.0f;
        if (opcode == kOpSetBlockSize) value = 512;
        if (opcode == kOpMainsChanged) value = 1;
        if (opcode == kOpEditGetRect) ptr = &rect;
        plug->dispatch(opcode, 0, value, ptr, opt);
    }
    plug->suspend();
    report.pass(hasEditor ? "opcodes 0 to 24 answer (the editor's left out)" : "opcodes 0 to 24 answer without a crash");
    std::string answered;
    for (std::int32_t opcode : {25, 26, 30, 40, 100, -1, -100}) {
        char scratch[256] = {};
        if (plug->dispatch(opcode, 0, 0, scratch, 0.0f) != 0) answered += " " + std::to_string(opcode);
    }
    if (answered.empty()) {
        report.pass("unknown opcodes answer 0");
    } else {
        report.warn("opcodes beyond the interface answer non-zero:" + answered);
    }
}

void checkOpenClose(Report& report, const std::string& plugin, bool) {
    const auto library = PluginLibrary::open(plugin);
    for (int i = 0; i < 100; ++i) {
        auto plug = PluginInstance::create(library);
        plug->open();
        plug->resume();
        plug->suspend();
    }
    report.pass("opened and closed 100 times");
}

// Reads one text into a guarded buffer and judges it.
bool judgeText(Report& report, const TextReading& reading, const std::string& what, std::size_t width,
               std::size_t warnAbove, bool mustTerminate) {
    if (reading.extent > kHostBuffer) {
        report.fail(what + " wrote " + std::to_string(reading.extent) + " bytes, past a 64-byte buffer");
        return false;
    }
    if (!reading.touched) return true;
    if (!reading.terminated && mustTerminate) {
        report.fail(what + " '" + reading.text + "' is longer than " + std::to_string(width) + " or unterminated");
        return false;
    }
    if (!printable(reading.text)) {
        report.fail(what + " holds unprintable characters");
        return false;
    }
    if (reading.text.size() > warnAbove) {
        report.warn(what + " '" + reading.text + "' has " + std::to_string(reading.text.size()) +
                    " characters; hosts often reserve " + std::to_string(warnAbove));
    }
    return true;
}

void checkTexts(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    bool clean = true;
    std::size_t longNames = 0, longLabels = 0, longDisplays = 0;
    for (std::int32_t p = 0; p < plug->numParams(); ++p) {
        const std::string where = "parameter " + std::to_string(p);
        const auto name = plug->readText(kOpGetParamName, p, kHostBuffer - 1);
        const auto label = plug->readText(kOpGetParamLabel, p, kHostBuffer - 1);
        clean = judgeText(report, name, where + " name", kHostBuffer - 1, std::numeric_limits<std::size_t>::max(), true) && clean;
        clean = judgeText(report, label, where + " label", kHostBuffer - 1, std::numeric_limits<std::size_t>::max(), true) && clean;
        longNames += name.text.size() > kShortTexts ? 1 : 0;
        longLabels += label.text.size() > kShortTexts ? 1 : 0;
        for (int step = 0; step <= 20; ++step) {
            plug->setParameter(p, static_cast<float>(step) / 20.0f);
            const auto display = plug->readText(kOpGetParamDisplay, p, kHostBuffer - 1);
            clean = judgeText(report, display, where + " display", kHostBuffer - 1,
                              std::numeric_limits<std::size_t>::max(), true) && clean;
            longDisplays += display.text.size() > kShortTexts ? 1 : 0;
        }
    }
    for (std::int32_t p = 0; p < plug->numPrograms(); ++p) {
        plug->setProgram(p);
        const auto name = plug->readText(kOpGetProgramName, 0, kProgramNameWidth);
        clean = judgeText(report, name, "program " + std::to_string(p) + " name", kProgramNameWidth,
                          kProgramNameWidth, true) && clean;
    }
    if (longNames > 0) report.warn(std::to_string(longNames) + " parameter names longer than 8 characters");
    if (longLabels > 0) report.warn(std::to_string(longLabels) + " labels longer than 8 characters");
    if (longDisplays > 0) report.warn(std::to_string(longDisplays) + " displays longer than 8 characters");
    if (clean) report.pass("names, labels, displays (21 values each) and program names terminated and printable");
}

void checkParameters(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    for (std::int32_t p = 0; p < plug->numParams(); ++p) {
        for (float value : {0.0f, 0.25f, 0.5f, 1.0f}) {
            plug->setParameter(p, value);
            const float back = plug->getParameter(p);
            if (std::fabs(back - value) > 1e-3f) {
                report.fail("parameter " + std::to_string(p) + " set to " + std::to_string(value) + " reads back " +
                            std::to_string(back));
                return;
            }
        }
    }
    report.pass("every parameter reads back what was set");
}

void checkPrograms(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    for (std::int32_t p = plug->numPrograms() - 1; p >= 0; --p) {
        plug->setProgram(p);
        if (plug->getProgram() != p) {
            report.fail("program " + std::to_string(p) + " selected, " + std::to_string(plug->getProgram()) + " reported");
            return;
        }
    }
    report.pass("every program can be selected and reports itself");
}

// Renders `blocks` through a fresh, switched-on instance; returns channel 0.
std::vector<float> render(const std::string& plugin, const std::vector<std::int32_t>& blocks, bool replacing,
                          std::vector<float> prior = {}) {
    auto plug = instance(plugin);
    plug->setSampleRate(44100.0f);
    plug->setBlockSize(8192);
    plug->resume();
    std::size_t total = 0;
    for (auto b : blocks) total += static_cast<std::size_t>(b);
    Channels in(plug->record()->numInputs, total), out(plug->record()->numOutputs, total);
    std::mt19937 random(99);
    in.noise(random);
    if (!prior.empty()) {
        for (auto& channel : out.data) std::copy(prior.begin(), prior.end(), channel.begin());
    }
    std::size_t at = 0;
    for (auto b : blocks) {
        std::vector<float*> inputs, outputs;
        for (auto* p : in.pointers) inputs.push_back(p + at);
        for (auto* p : out.pointers) outputs.push_back(p + at);
        if (replacing) {
            plug->processReplacing(inputs.data(), outputs.data(), b);
        } else {
            plug->process(inputs.data(), outputs.data(), b);
        }
        at += static_cast<std::size_t>(b);
    }
    return out.data[0];
}

void checkAudio(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    const EffectRecord* r = plug->record();
    const bool replacing = (r->flags & kFlagCanReplacing) != 0;
    std::mt19937 random(5);
    std::uniform_int_distribution<std::int32_t> size(1, 8192);
    plug->setSampleRate(44100.0f);
    plug->setBlockSize(8192);
    plug->resume();
    Channels in(r->numInputs, 8192), out(r->numOutputs, 8192);
    for (int block = 0; block < 60; ++block) {
        const std::int32_t frames = size(random);
        if (block % 3 == 0) {
            in.noise(random);
        } else if (block % 3 == 1) {
            for (auto& channel : in.data) std::fill(channel.begin(), channel.end(), 0.0f);
        }
        const bool inPlace = block % 2 == 0 && r->numInputs == r->numOutputs;
        float** outputs = inPlace ? in.pointers.data() : out.pointers.data();
        if (replacing && block % 4 != 3) {
            plug->processReplacing(in.pointers.data(), outputs, frames);
        } else {
            plug->process(in.pointers.data(), outputs, frames);
        }
        const Channels& written = inPlace ? in : out;
        if (!written.finite(static_cast<std::size_t>(frames))) {
            report.fail("non-finite output in block " + std::to_string(block) + " (" + std::to_string(frames) + " frames)");
            return;
        }
        if (inPlace) in.noise(random);
    }
    report.pass(std::string("60 blocks of 1 to 8192 frames, in place and not, silence and noise: finite") +
                (replacing ? "" : " (no replacing processing offered)"));

    const std::vector<std::int32_t> blocks(8, 512);
    if (replacing) {
        const std::vector<float> written = render(plugin, blocks, true);
        const std::vector<float> prior(written.size(), 0.25f);
        const std::vector<float> added = render(plugin, blocks, false, prior);
        bool adds = true;
        for (std::size_t i = 0; i < written.size() && adds; ++i) {
            adds = std::fabs(added[i] - (written[i] + 0.25f)) <= 1e-4f * std::max(1.0f, std::fabs(written[i]));
        }
        if (adds) {
            report.pass("process adds into the outputs what processReplacing writes");
        } else {
            report.fail("process does not add into the outputs (or differs from processReplacing)");
        }
    }
    const std::vector<float> whole = render(plugin, blocks, replacing);
    const std::vector<float> split = render(plugin, {100, 1, 7, 3000, 800, 13, 1, 174}, replacing);
    if (whole == split) {
        report.pass("a block split differently gives the same output");
    } else {
        report.note("the output depends on how the audio is split into blocks");
    }

    for (int cycle = 0; cycle < 5; ++cycle) {
        plug->suspend();
        plug->setSampleRate(cycle % 2 == 0 ? 48000.0f : 22050.0f);
        plug->setBlockSize(256);
        plug->resume();
        in.noise(random);
        if (replacing) {
            plug->processReplacing(in.pointers.data(), out.pointers.data(), 256);
        } else {
            plug->process(in.pointers.data(), out.pointers.data(), 256);
        }
        if (!out.finite(256)) {
            report.fail("non-finite output after switching off and on at another sample rate");
            return;
        }
    }
    report.pass("switched off and on 5 times at 48000 and 22050 Hz: finite");
}

void checkCost(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    const EffectRecord* r = plug->record();
    plug->setSampleRate(44100.0f);
    plug->setBlockSize(kCostBlock);
    plug->resume();
    Channels in(r->numInputs, kCostBlock), out(r->numOutputs, kCostBlock);
    std::mt19937 random(3);
    in.noise(random);
    double worst = 0.0;
    std::vector<double> times;
    for (int block = 0; block < 5000; ++block) {
        if (block % 50 == 0 && plug->numParams() > 0) plug->setParameter(block / 50 % plug->numParams(), 0.3f + static_cast<float>(block % 100) / 200.0f);
        const auto start = std::chrono::steady_clock::now();
        if ((r->flags & kFlagCanReplacing) != 0) {
            plug->processReplacing(in.pointers.data(), out.pointers.data(), kCostBlock);
        } else {
            plug->process(in.pointers.data(), out.pointers.data(), kCostBlock);
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        worst = std::max(worst, times.back());
    }
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
    const double median = times[times.size() / 2];
    const double budget = kCostBlock / kBudgetRate;
    char text[200];
    std::snprintf(text, sizeof text,
                  "blocks of 64 frames: worst %.1f us, %.2f%% of the realtime budget at 44.1 kHz (median %.2f us)",
                  worst * 1e6, 100.0 * worst / budget, median * 1e6);
    if (worst > budget) {
        report.warn(text);
    } else {
        report.pass(text);
    }
}

void checkHostileValues(Report& report, const std::string& plugin, bool) {
    auto plug = instance(plugin);
    const EffectRecord* r = plug->record();
    const float values[] = {NAN, INFINITY, -INFINITY, -1.0f, 2.0f, 1e30f, -1e30f, std::numeric_limits<float>::denorm_min()};
    const std::int32_t indices[] = {-1, r->numParams, r->numParams + 1, INT32_MIN, INT32_MAX};
    plug->resume();
    Channels in(r->numInputs, 512), out(r->numOutputs, 512);
    std::mt19937 random(8);
    in.noise(random);
    for (std::int32_t p = 0; p < plug->numParams(); ++p) {
        for (float value : values) {
            plug->setParameter(p, value);
            static_cast<void>(plug->getParameter(p));
            for (std::int32_t shown = 0; shown < plug->numParams(); ++shown) {
                if (!judgeText(report, plug->readText(kOpGetParamDisplay, shown, kHostBuffer - 1),
                               "display " + std::to_string(shown) + " after parameter " + std::to_string(p) + " = " +
                                   std::to_string(value),
                               kHostBuffer - 1, std::numeric_limits<std::size_t>::max(), true)) {
                    return;
                }
            }
            plug->process(in.pointers.data(), out.pointers.data(), 512);
        }
    }
    for (std::int32_t index : indices) {
        plug->setParameter(index, 0.5f);
        static_cast<void>(plug->getParameter(index));
        for (std::int32_t opcode : {kOpGetParamName, kOpGetParamLabel, kOpGetParamDisplay}) {
            if (!judgeText(report, plug->readText(opcode, index, kHostBuffer - 1), "text of index " + std::to_string(index),
                           kHostBuffer - 1, std::numeric_limits<std::size_t>::max(), true)) {
                return;
            }
        }
    }
    for (std::intptr_t program : {static_cast<std::intptr_t>(-1), static_cast<std::intptr_t>(r->numPrograms),
                                  static_cast<std::intptr_t>(INT32_MAX), static_cast<std::intptr_t>(INT32_MIN)}) {
        plug->dispatch(kOpSetProgram, 0, program);
    }
    plug->setSampleRate(0.0f);
    plug->setSampleRate(NAN);
    plug->setBlockSize(-1);
    plug->process(in.pointers.data(), out.pointers.data(), 0);
    plug->process(in.pointers.data(), out.pointers.data(), -1);
    plug->suspend();
    plug->resume();
    report.pass("NaN, infinities, out-of-range values and indices, odd rates and empty blocks: no crash or overrun");
}

struct Check {
    const char* name;
    std::function<void(Report&, const std::string&, bool)> run;
    bool strictOnly;
};

const std::vector<Check>& checks() {
    static const std::vector<Check> all = {
        {"load", checkLoad, false},
        {"version-first", checkVersionFirst, false},
        {"host-refusal", checkHostRefusal, false},
        {"record", checkRecord, false},
        {"instances", checkInstances, false},
        {"opcodes", checkOpcodes, false},
        {"open-close", checkOpenClose, false},
        {"texts", checkTexts, false},
        {"parameters", checkParameters, false},
        {"programs", checkPrograms, false},
        {"audio", checkAudio, false},
        {"cost", checkCost, false},
        {"hostile-values", checkHostileValues, true},
    };
    return all;
}

struct Finding {
    std::string result;
    std::string detail;
};

std::vector<Finding> readFindings(const std::string& file) {
    std::vector<Finding> findings;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos) findings.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return findings;
}

}  // namespace

int runValidateCheck(const std::string& name, const std::string& plugin, const std::string& resultFile, bool strict) {
    Report report(resultFile);
    for (const auto& check : checks()) {
        if (name != check.name) continue;
        try {
            check.run(report, plugin, strict);
        } catch (const std::exception& error) {
            report.fail(error.what());
        }
        return 0;
    }
    report.fail("no check named " + name);
    return 1;
}

int runValidate(const std::vector<std::string>& plugins, bool strict) {
    bool allPassed = true;
    for (const auto& plugin : plugins) {
        std::printf("%s%s\n\n  %-15s %-6s %s\n", plugin.c_str(), strict ? " (strict)" : "", "check", "result", "detail");
        int failures = 0, warnings = 0, passes = 0;
        for (const auto& check : checks()) {
            if (check.strictOnly && !strict) continue;
            const auto resultFile = (std::filesystem::temp_directory_path() /
                                     ("validate-" + std::string(check.name) + "-" +
                                      std::to_string(std::random_device{}()) + ".txt"))
                                        .string();
            std::vector<std::string> arguments{"validate-check", check.name, plugin, resultFile};
            if (strict) arguments.emplace_back("--strict");
            const ChildOutcome outcome = runSelf(arguments, kCheckSeconds);
            std::vector<Finding> findings = readFindings(resultFile);
            std::error_code ignored;
            std::filesystem::remove(resultFile, ignored);
            if (!outcome.ran) findings.push_back({"FAIL", "the check could not be started"});
            if (outcome.ran && (!outcome.exited || outcome.status != 0)) findings.push_back({"FAIL", outcome.how});
            if (findings.empty()) findings.push_back({"FAIL", "the check reported nothing"});
            for (std::size_t i = 0; i < findings.size();) {
                // The same finding several times over is one row with a count.
                std::size_t same = 1;
                while (i + same < findings.size() && findings[i + same].result == findings[i].result &&
                       findings[i + same].detail == findings[i].detail) {
                    ++same;
                }
                const Finding& finding = findings[i];
                failures += finding.result == "FAIL" ? 1 : 0;
                warnings += finding.result == "WARN" ? 1 : 0;
                passes += finding.result == "PASS" ? 1 : 0;
                const std::string times = same > 1 ? " (" + std::to_string(same) + " times)" : "";
                std::printf("  %-15s %-6s %s%s\n", check.name, finding.result.c_str(), finding.detail.c_str(),
                            times.c_str());
                i += same;
            }
        }
        std::printf("\n  verdict: %s (%d passed, %d warnings, %d failed)\n\n", failures == 0 ? "PASS" : "FAIL", passes,
                    warnings, failures);
        allPassed = allPassed && failures == 0;
    }
    std::fflush(stdout);
    return allPassed ? 0 : 2;
}
