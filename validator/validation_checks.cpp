#include "validator/validation_checks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <thread>

#include "loader/plugin_instance.h"
#include "validator/call_log.h"
#include "validator/crash_report.h"
#include "validator/guarded_memory.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kTextBuffer = 256;   // what careful hosts reserve for a text
constexpr std::size_t kShortHostText = 64;  // what some hosts reserve
constexpr std::size_t kShortTexts = 8;      // what hosts of the interface's generation often show
constexpr std::int32_t kAnnouncedBlock = 512;
constexpr double kBudgetRate = 44100.0;
constexpr std::int32_t kCostBlock = 64;
constexpr double kWorkSeconds = 2.0;        // roughly what the instance-heavy checks may spend making instances
constexpr std::int64_t kMaxChunkBytes = std::int64_t{256} << 20;
constexpr std::int32_t kMaxProgramsChecked = 512;
constexpr std::int32_t kMaxParametersChecked = 2048;

// The findings of one check, written line by line to the result file with
// no buffering, so that a crash keeps them.
class Report {
public:
    explicit Report(const std::string& file) {
#if defined(_WIN32)
        handle = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
#else
        fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
#endif
    }
    long long descriptor() const {
#if defined(_WIN32)
        return static_cast<long long>(reinterpret_cast<std::intptr_t>(handle));
#else
        return fd;
#endif
    }
    void pass(const std::string& detail) { write("PASS", detail); }
    void note(const std::string& detail) { write("NOTE", detail); }
    void warn(const std::string& detail) { write("WARN", detail); }
    void fail(const std::string& detail) { write("FAIL", detail); }
    void time(double seconds) {
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", seconds);
        write("TIME", text);
    }

private:
    void write(const char* result, const std::string& detail) {
        std::string line = std::string(result) + "\t" + detail;
        std::replace(line.begin() + static_cast<std::ptrdiff_t>(std::strlen(result)) + 1, line.end(), '\n', ' ');
        line += "\n";
#if defined(_WIN32)
        DWORD written = 0;
        WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
#else
        const ssize_t ignored = ::write(fd, line.data(), line.size());
        (void)ignored;
#endif
    }
#if defined(_WIN32)
    HANDLE handle = INVALID_HANDLE_VALUE;
#else
    int fd = -1;
#endif
};

struct Context {
    Report& report;
    std::string plugin;
    bool strict;
    std::uint32_t seed;
    double instanceSeconds;

    // How many of something that takes an instance each fit the work budget.
    int affordable(int wanted) const {
        if (instanceSeconds <= 0) return wanted;
        return std::clamp(static_cast<int>(kWorkSeconds / instanceSeconds), std::min(wanted, 3), wanted);
    }
};

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
                                             std::shared_ptr<HostSide> host = nullptr) {
    CallLog::about("main");
    auto instance = PluginInstance::create(library, std::move(host));
    CallLog::about("dispatcher opcode 0 (open)");
    instance->open();
    return instance;
}

std::intptr_t call(PluginInstance& plugin, std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
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

// One block through replacing processing where it is offered, else through
// the adding entry into cleared outputs.
void processBlock(PluginInstance& plugin, float** inputs, float** outputs, std::int32_t outputCount,
                  std::int32_t frames, bool adding = false) {
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

// A text read through a host buffer of kTextBuffer bytes that ends at a
// guard page, prefilled so that what the plug-in wrote can be told.
TextReading readText(PluginInstance& plugin, std::int32_t opcode, std::int32_t index, const char* what) {
    static GuardedRegion buffer(kTextBuffer, "the text buffer");
    CallLog::about("dispatcher opcode %d (%s, index %d) into a %zu-byte buffer", static_cast<int>(opcode), what,
                   static_cast<int>(index), kTextBuffer);
    return plugin.readText(opcode, index, kTextBuffer - 1, buffer.data(), kTextBuffer);
}

// Judges a text; false when it failed.
struct TextTally {
    std::size_t overShortTexts = 0;
    std::size_t overShortHost = 0;
    std::size_t controlCharacters = 0;
};

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

// ---- the checks ----

void checkLoad(Context& c) {
    const auto library = openLibrary(c.plugin);
    const auto start = std::chrono::steady_clock::now();
    auto instance = makeInstance(library);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CallLog::about("dispatcher opcode 1 (close)");
    instance.reset();
    c.report.time(seconds);
    c.report.pass("the file loads, exports main and makes an instance in " + str(seconds * 1000.0) + " ms");
}

void checkVersionFirst(Context& c) {
    auto host = std::make_shared<HostSide>(2400);
    auto plugin = makeInstance(openLibrary(c.plugin), host);
    const auto requests = host->requests();
    if (requests.empty() || requests[0].request != kRequestVersion || requests[0].effect != nullptr) {
        c.report.note("main does not ask for the host's version first (the interface does not require it)");
    } else {
        c.report.pass("main asks for the host's version first");
    }
}

void checkHostRefusal(Context& c) {
    auto host = std::make_shared<HostSide>(0);
    try {
        auto plugin = makeInstance(openLibrary(c.plugin), host);
        c.report.note("a host answering 0 to the version request still gets an instance");
    } catch (const PluginError&) {
        c.report.pass("a host answering 0 to the version request gets no instance");
    }
}

void checkRecord(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    bool failed = false;
    auto fail = [&](const std::string& what) {
        c.report.fail(what);
        failed = true;
    };
    if (r->numParams < 0) fail("a negative parameter count: " + std::to_string(r->numParams));
    if (r->numPrograms < 0) fail("a negative program count: " + std::to_string(r->numPrograms));
    if (r->numInputs < 0 || r->numOutputs < 0) fail("a negative channel count");
    if ((r->flags & kFlagCanReplacing) != 0 && r->processReplacing == nullptr) {
        fail("says it replaces (flag 16) but has no processReplacing entry");
    }
    if (r->process == nullptr && r->processReplacing == nullptr) fail("has no processing entry at all");
    if (r->numParams > 0 && (r->setParameter == nullptr || r->getParameter == nullptr)) {
        fail("has parameters but no setParameter or getParameter entry");
    }
    if (r->object == nullptr) c.report.note("the record's object field is null (hosts never read it)");
    if (r->process == nullptr) c.report.note("no process entry: replacing processing only");
    if (r->numInputs > 64 || r->numOutputs > 64) {
        c.report.note(std::to_string(r->numInputs) + " inputs and " + std::to_string(r->numOutputs) + " outputs");
    }
    if (r->numPrograms > 100000 || r->numParams > 100000) c.report.note("very many programs or parameters");
    if (failed) return;
    char id[5] = {};
    for (int i = 0; i < 4; ++i) {
        const auto ch = static_cast<char>((static_cast<std::uint32_t>(r->uniqueId) >> (24 - 8 * i)) & 0xFF);
        id[i] = std::isprint(static_cast<unsigned char>(ch)) ? ch : '?';
    }
    c.report.pass(std::string("'") + id + "', " + std::to_string(r->numInputs) + " in, " +
                  std::to_string(r->numOutputs) + " out, " + std::to_string(r->numParams) + " parameters, " +
                  std::to_string(r->numPrograms) + " programs, flags " + std::to_string(r->flags));
}

void checkInstances(Context& c) {
    const auto library = openLibrary(c.plugin);
    const int count = c.affordable(20);
    std::vector<std::unique_ptr<PluginInstance>> all;
    for (int i = 0; i < count; ++i) all.push_back(makeInstance(library));
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            if (all[i]->record() == all[j]->record()) {
                c.report.fail("two calls of main answered the same record");
                return;
            }
        }
    }
    if (all.size() > 1 && all[0]->numParams() > 0) {
        const float before = getParameter(*all[1], 0);
        setParameter(*all[0], 0, before > 0.5f ? 0.1f : 0.9f);
        if (getParameter(*all[1], 0) != before) {
            c.report.fail("setting a parameter of one instance changed another");
            return;
        }
    }
    CallLog::about("dispatcher opcode 1 (close) of %d instances", count);
    all.clear();
    c.report.pass(std::to_string(count) + " calls of main give " + std::to_string(count) + " independent instances");
}

void checkOpcodes(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const bool editor = (plugin->record()->flags & kFlagHasEditor) != 0;
    GuardedRegion scratch(kTextBuffer, "the text buffer");
    for (std::int32_t opcode = 0; opcode <= 24; ++opcode) {
        // The editor's opcodes need a window only a host with a display has.
        if (opcode == kOpClose || (editor && ((opcode >= kOpEditGetRect && opcode <= kOpEditClose) || opcode == kOpEditIdle))) {
            continue;
        }
        std::memset(scratch.data(), 0, kTextBuffer);
        std::intptr_t value = 0;
        float opt = 0.0f;
        void* ptr = nullptr;
        if (opcode >= kOpSetProgramName && opcode <= kOpGetParamName) ptr = scratch.data();
        if (opcode == kOpSetProgramName) std::strcpy(reinterpret_cast<char*>(scratch.data()), "Validated");
        if (opcode == kOpSetSampleRate) opt = 44100.0f;
        if (opcode == kOpSetBlockSize) value = kAnnouncedBlock;
        if (opcode == kOpMainsChanged) value = 1;
        if (opcode == kOpEditGetRect || opcode == kOpGetChunk) ptr = scratch.data();  // where a pointer is written
        if (opcode == kOpSetChunk) {
            if ((plugin->record()->flags & kFlagProgramChunks) != 0) continue;  // the state check gives it real data
            ptr = scratch.data();
        }
        call(*plugin, opcode, 0, value, ptr, opt);
    }
    call(*plugin, kOpMainsChanged, 0, 0);
    c.report.pass(editor ? "opcodes 0 to 24 answer (the editor's need a window and are left out)"
                         : "opcodes 0 to 24 answer without a crash");
}

void checkOpenClose(Context& c) {
    const auto library = openLibrary(c.plugin);
    const int cycles = c.affordable(100);
    for (int i = 0; i < cycles; ++i) {
        auto plugin = makeInstance(library);
        switchOn(*plugin, 44100.0f, kAnnouncedBlock);
        call(*plugin, kOpMainsChanged, 0, 0);
        CallLog::about("dispatcher opcode 1 (close), cycle %d", i);
    }
    c.report.pass("made, switched on and off, and closed " + std::to_string(cycles) + " times");
}

void checkTexts(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    bool clean = true;
    TextTally tally;
    const std::int32_t params = std::min(plugin->numParams(), kMaxParametersChecked);
    for (std::int32_t p = 0; p < params && clean; ++p) {
        const std::string where = "parameter " + std::to_string(p);
        clean = judgeText(c.report, readText(*plugin, kOpGetParamName, p, "parameter name"), where + " name", tally) && clean;
        clean = judgeText(c.report, readText(*plugin, kOpGetParamLabel, p, "parameter label"), where + " label", tally) && clean;
        for (int step = 0; step <= 10 && clean; ++step) {
            setParameter(*plugin, p, static_cast<float>(step) / 10.0f);
            clean = judgeText(c.report, readText(*plugin, kOpGetParamDisplay, p, "parameter display"),
                              where + " display", tally) && clean;
        }
    }
    const std::int32_t programs = std::min(plugin->numPrograms(), kMaxProgramsChecked);
    for (std::int32_t p = 0; p < programs && clean; ++p) {
        call(*plugin, kOpSetProgram, 0, p);
        clean = judgeText(c.report, readText(*plugin, kOpGetProgramName, 0, "program name"),
                          "program " + std::to_string(p) + " name", tally) && clean;
    }
    if (tally.overShortTexts > 0) {
        c.report.note(std::to_string(tally.overShortTexts) + " texts longer than the 8 characters hosts of the "
                      "interface's generation often show");
    }
    if (tally.controlCharacters > 0) c.report.note(std::to_string(tally.controlCharacters) + " texts with control characters");
    if (clean) c.report.pass("names, labels, displays and program names end within their buffer");
}

void checkParameters(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    std::size_t quantised = 0, outside = 0;
    const std::int32_t params = std::min(plugin->numParams(), kMaxParametersChecked);
    for (std::int32_t p = 0; p < params; ++p) {
        for (float value : {0.0f, 0.25f, 0.5f, 1.0f}) {
            setParameter(*plugin, p, value);
            const float back = getParameter(*plugin, p);
            if (!std::isfinite(back)) {
                c.report.fail("parameter " + std::to_string(p) + " set to " + str(value) + " reads back " + str(back));
                return;
            }
            outside += back < 0.0f || back > 1.0f ? 1 : 0;
            quantised += std::fabs(back - value) > 1e-3f ? 1 : 0;
        }
    }
    if (quantised > 0) c.report.note(std::to_string(quantised) + " values read back otherwise (stepped or choice parameters)");
    if (outside > 0) c.report.note(std::to_string(outside) + " values read back outside 0..1");
    c.report.pass(std::to_string(params) + " parameters take values from 0 to 1 and read back finite values");
}

void checkPrograms(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const std::int32_t programs = std::min(plugin->numPrograms(), kMaxProgramsChecked);
    for (std::int32_t p = programs - 1; p >= 0; --p) {
        call(*plugin, kOpSetProgram, 0, p);
        const auto reported = static_cast<std::int32_t>(call(*plugin, kOpGetProgram));
        if (reported != p) {
            c.report.fail("program " + std::to_string(p) + " selected, " + std::to_string(reported) + " reported");
            return;
        }
    }
    c.report.pass(std::to_string(programs) + " programs can be selected and report themselves");
}

// Renders a second of noise through an instance, block by block; returns
// every output channel, one after the other.
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

void checkState(Context& c) {
    const auto library = openLibrary(c.plugin);
    auto plugin = makeInstance(library);
    if ((plugin->record()->flags & kFlagProgramChunks) == 0) {
        c.report.pass("no state chunks offered: hosts keep the parameters and the program");
        return;
    }
    // The parameters as a new instance has them, and as this one has them
    // after a change to each (read back, as the plug-in keeps them).
    const std::int32_t params = std::min(plugin->numParams(), kMaxParametersChecked);
    auto untouched = makeInstance(library);
    std::vector<float> defaults, expected;
    for (std::int32_t p = 0; p < params; ++p) defaults.push_back(getParameter(*untouched, p));
    for (std::int32_t p = 0; p < params; ++p) setParameter(*plugin, p, defaults[static_cast<std::size_t>(p)] < 0.5f ? 0.75f : 0.25f);
    auto same = [](float a, float b) { return std::fabs(a - b) <= 1e-3f; };
    for (std::int32_t isPreset : {0, 1}) {
        // What the chunk should hold: the instance's parameters as they are now.
        expected.clear();
        for (std::int32_t p = 0; p < params; ++p) expected.push_back(getParameter(*plugin, p));
        void* chunk = nullptr;
        const auto size = static_cast<std::int64_t>(call(*plugin, kOpGetChunk, isPreset, 0, &chunk));
        const char* kind = isPreset != 0 ? "program" : "bank";
        if (size <= 0 || chunk == nullptr) {
            c.report.note(std::string("offers chunks (flag 32) but gave no ") + kind + " chunk");
            continue;
        }
        if (size > kMaxChunkBytes) {
            c.report.fail(std::string("a ") + kind + " chunk of " + std::to_string(size) + " bytes");
            return;
        }
        const std::vector<unsigned char> copy(static_cast<const unsigned char*>(chunk),
                                              static_cast<const unsigned char*>(chunk) + size);
        auto fresh = makeInstance(library);
        CallLog::about("dispatcher opcode 24 (set chunk), a %s chunk of %lld bytes", kind, static_cast<long long>(size));
        fresh->dispatch(kOpSetChunk, isPreset, static_cast<std::intptr_t>(size), const_cast<unsigned char*>(copy.data()), 0.0f);
        // Some plug-ins take in a chunk on a thread of their own: their
        // parameters are given a moment to come back.
        std::int32_t changed = 0, back = 0, otherwise = 0;
        const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        do {
            changed = back = otherwise = 0;
            for (std::int32_t p = 0; p < params; ++p) {
                const auto i = static_cast<std::size_t>(p);
                if (same(expected[i], defaults[i])) continue;
                ++changed;
                const float restored = getParameter(*fresh, p);
                back += same(restored, expected[i]) ? 1 : 0;
                otherwise += !same(restored, expected[i]) && !same(restored, defaults[i]) ? 1 : 0;
            }
            if (back == changed) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < patience);
        if (changed > 0 && back == 0 && otherwise == 0) {
            c.report.fail(std::string("its ") + kind + " chunk brings none of " + std::to_string(changed) +
                          " changed parameters back: a new instance keeps its defaults");
            return;
        }
        if (back < changed) {
            c.report.note(std::to_string(changed - back) + " of " + std::to_string(changed) + " changed parameters come back "
                          "otherwise with the " + kind + " chunk (linked, stepped, or kept out of the state)");
        }
        switchOn(*plugin, 44100.0f, kAnnouncedBlock);
        switchOn(*fresh, 44100.0f, kAnnouncedBlock);
        if (renderNoise(*plugin, c.seed) != renderNoise(*fresh, c.seed)) {
            c.report.note(std::string("the same ") + kind + " chunk, the same input: another output (inner state of its own)");
        }
        call(*plugin, kOpMainsChanged, 0, 0);
        c.report.pass(std::string("its ") + kind + " chunk (" + std::to_string(size) + " bytes) brings " +
                      std::to_string(back) + " of " + std::to_string(changed) + " changed parameters back in a new instance");
    }
}

void checkAudio(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    switchOn(*plugin, 44100.0f, kAnnouncedBlock);
    GuardedChannels in(r->numInputs, kAnnouncedBlock, "input"), out(r->numOutputs, kAnnouncedBlock, "output");
    std::mt19937 random(c.seed);
    std::uniform_int_distribution<std::int32_t> size(1, kAnnouncedBlock);
    const std::int32_t sizes[] = {kAnnouncedBlock, 1, kAnnouncedBlock - 1, 2, 37, 3, kAnnouncedBlock};
    int blocks = 0;
    for (int round = 0; round < 8; ++round) {
        for (std::int32_t frames : sizes) {
            if (round > 0) frames = size(random);
            in.setReadOnly(false);
            if (blocks % 3 == 2) {
                in.fill(0.0f);
            } else {
                in.noise(c.seed + static_cast<std::uint32_t>(blocks));
            }
            in.setReadOnly(true);  // a host's input is the host's
            float** outputs = out.block(frames);
            processBlock(*plugin, in.block(frames), outputs, out.count(), frames, blocks % 4 == 3 && r->process != nullptr);
            if (!finite(outputs, out.count(), frames)) {
                c.report.fail("non-finite output, block " + std::to_string(blocks) + " of " + std::to_string(frames) + " frames");
                return;
            }
            ++blocks;
        }
    }
    in.setReadOnly(false);
    c.report.pass(std::to_string(blocks) + " blocks of 1 to " + std::to_string(kAnnouncedBlock) +
                  " frames in guarded buffers, inputs read-only: finite output, nothing touched outside");

    // In place: each output the same array as its input.
    if (r->numInputs == r->numOutputs && r->numInputs > 0) {
        for (int block = 0; block < 8; ++block) {
            in.noise(c.seed + 1000u + static_cast<std::uint32_t>(block));
            float** channels = in.block(kAnnouncedBlock - block);
            processBlock(*plugin, channels, channels, in.count(), kAnnouncedBlock - block);
            if (!finite(channels, in.count(), kAnnouncedBlock - block)) {
                c.report.fail("non-finite output in place");
                return;
            }
        }
        c.report.pass("in place (outputs the same arrays as inputs): finite");
    }

    // The adding entry against the replacing one, from fresh instances.
    if (plugin->replaces() && r->process != nullptr) {
        const auto library = openLibrary(c.plugin);
        auto a = makeInstance(library);
        auto b = makeInstance(library);
        switchOn(*a, 44100.0f, kAnnouncedBlock);
        switchOn(*b, 44100.0f, kAnnouncedBlock);
        GuardedChannels source(r->numInputs, kAnnouncedBlock, "input");
        GuardedChannels written(r->numOutputs, kAnnouncedBlock, "output");
        GuardedChannels added(r->numOutputs, kAnnouncedBlock, "output");
        source.noise(c.seed + 7u);
        added.fill(0.25f);
        CallLog::about("processReplacing of %d frames", kAnnouncedBlock);
        a->processReplacing(source.block(kAnnouncedBlock), written.block(kAnnouncedBlock), kAnnouncedBlock);
        CallLog::about("process of %d frames", kAnnouncedBlock);
        b->process(source.block(kAnnouncedBlock), added.block(kAnnouncedBlock), kAnnouncedBlock);
        bool adds = true, overwrites = true;
        for (std::int32_t ch = 0; ch < written.count(); ++ch) {
            const float* w = written.channel(ch, kAnnouncedBlock);
            const float* s = added.channel(ch, kAnnouncedBlock);
            for (std::int32_t i = 0; i < kAnnouncedBlock; ++i) {
                adds = adds && std::fabs(s[i] - (w[i] + 0.25f)) <= 1e-4f * std::max(1.0f, std::fabs(w[i]));
                overwrites = overwrites && s[i] == w[i];
            }
        }
        if (adds) {
            c.report.pass("process adds into the outputs what processReplacing writes");
        } else if (overwrites) {
            c.report.note("process overwrites the outputs instead of adding into them");
        } else {
            c.report.note("process and processReplacing give different output");
        }
    }
}

void checkRates(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    const float rates[] = {22050.0f, 32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
    const std::int32_t blocks[] = {1, 64, 512, 4096, 8192};
    GuardedChannels in(r->numInputs, 8192, "input"), out(r->numOutputs, 8192, "output");
    in.noise(c.seed);
    in.setReadOnly(true);
    int combinations = 0;
    for (float rate : rates) {
        for (std::int32_t block : blocks) {
            call(*plugin, kOpMainsChanged, 0, 0);
            switchOn(*plugin, rate, block);
            for (std::int32_t frames : {block, std::max(1, block / 3)}) {
                float** outputs = out.block(frames);
                processBlock(*plugin, in.block(frames), outputs, out.count(), frames);
                if (!finite(outputs, out.count(), frames)) {
                    c.report.fail("non-finite output at " + str(rate) + " Hz, blocks of " + std::to_string(block));
                    return;
                }
            }
            ++combinations;
        }
    }
    call(*plugin, kOpMainsChanged, 0, 0);
    c.report.pass(std::to_string(combinations) + " sample rates and block sizes from 22050 to 192000 Hz and 1 to 8192 "
                  "frames, each set while switched off: finite output");
}

void checkThreads(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    switchOn(*plugin, 44100.0f, kAnnouncedBlock);
    if (plugin->numParams() == 0) {
        c.report.pass("no parameters to change from another thread");
        return;
    }
    GuardedChannels in(r->numInputs, kAnnouncedBlock, "input"), out(r->numOutputs, kAnnouncedBlock, "output");
    in.noise(c.seed);
    std::atomic<bool> done{false};
    std::thread automation([&] {
        std::mt19937 random(c.seed);
        std::uniform_int_distribution<std::int32_t> index(0, plugin->numParams() - 1);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        while (!done) plugin->setParameter(index(random), value(random));
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    int blocks = 0;
    while (std::chrono::steady_clock::now() < end) {
        CallLog::about("processing a block of %d frames while another thread sets parameters", kAnnouncedBlock);
        if (plugin->replaces()) {
            plugin->processReplacing(in.block(kAnnouncedBlock), out.block(kAnnouncedBlock), kAnnouncedBlock);
        } else {
            plugin->process(in.block(kAnnouncedBlock), out.block(kAnnouncedBlock), kAnnouncedBlock);
        }
        ++blocks;
    }
    done = true;
    automation.join();
    c.report.pass(std::to_string(blocks) + " blocks while another thread changed parameters: no crash");
}

void checkCost(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    switchOn(*plugin, 44100.0f, kCostBlock);
    GuardedChannels in(r->numInputs, kCostBlock, "input"), out(r->numOutputs, kCostBlock, "output");
    in.noise(c.seed);
    float** inputs = in.block(kCostBlock);
    float** outputs = out.block(kCostBlock);
    std::vector<double> times;
    CallLog::about("blocks of %d frames, timed", kCostBlock);
    const bool replaces = plugin->replaces();
    for (int block = 0; block < 3000; ++block) {
        const auto start = std::chrono::steady_clock::now();
        if (replaces) {
            plugin->processReplacing(inputs, outputs, kCostBlock);
        } else {
            plugin->process(inputs, outputs, kCostBlock);
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double high = times[times.size() * 99 / 100];
    const double budget = kCostBlock / kBudgetRate;
    char text[200];
    std::snprintf(text, sizeof text,
                  "blocks of 64 frames: median %.1f us, 99th percentile %.1f us: %.1f%% and %.1f%% of the real-time "
                  "budget at 44.1 kHz",
                  median * 1e6, high * 1e6, 100.0 * median / budget, 100.0 * high / budget);
    if (median > budget) {
        c.report.warn(text);
    } else if (high > budget) {
        c.report.note(text);
    } else {
        c.report.pass(text);
    }
}

void checkHostileValues(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    const float values[] = {NAN, INFINITY, -INFINITY, -1.0f, 2.0f, 1e30f, -1e30f, std::numeric_limits<float>::denorm_min()};
    const std::int32_t indices[] = {-1, r->numParams, r->numParams + 1, INT32_MIN, INT32_MAX};
    switchOn(*plugin, 44100.0f, kAnnouncedBlock);
    GuardedChannels in(r->numInputs, kAnnouncedBlock, "input"), out(r->numOutputs, kAnnouncedBlock, "output");
    in.noise(c.seed);
    in.setReadOnly(true);
    TextTally tally;
    const std::int32_t params = std::min(plugin->numParams(), kMaxParametersChecked);
    for (std::int32_t p = 0; p < params; ++p) {
        for (float value : values) {
            setParameter(*plugin, p, value);
            static_cast<void>(getParameter(*plugin, p));
            if (!judgeText(c.report, readText(*plugin, kOpGetParamDisplay, p, "parameter display"),
                           "display of parameter " + std::to_string(p) + " at " + str(value), tally)) {
                return;
            }
            processBlock(*plugin, in.block(kAnnouncedBlock), out.block(kAnnouncedBlock), out.count(), kAnnouncedBlock);
        }
        setParameter(*plugin, p, 0.5f);
    }
    for (std::int32_t index : indices) {
        setParameter(*plugin, index, 0.5f);
        static_cast<void>(getParameter(*plugin, index));
        for (std::int32_t opcode : {kOpGetParamName, kOpGetParamLabel, kOpGetParamDisplay}) {
            if (!judgeText(c.report, readText(*plugin, opcode, index, "a text of a parameter that is not there"),
                           "text of parameter index " + std::to_string(index), tally)) {
                return;
            }
        }
    }
    for (std::intptr_t program : {static_cast<std::intptr_t>(-1), static_cast<std::intptr_t>(r->numPrograms),
                                  static_cast<std::intptr_t>(INT32_MAX), static_cast<std::intptr_t>(INT32_MIN)}) {
        call(*plugin, kOpSetProgram, 0, program);
    }
    call(*plugin, kOpMainsChanged, 0, 0);
    for (float rate : {0.0f, -44100.0f, NAN, INFINITY, 1.0f, 768000.0f}) call(*plugin, kOpSetSampleRate, 0, 0, nullptr, rate);
    for (std::intptr_t block : {0, -1, 65536}) call(*plugin, kOpSetBlockSize, 0, block);
    switchOn(*plugin, 44100.0f, kAnnouncedBlock);
    CallLog::about("process of 0 frames");
    plugin->process(in.block(1), out.block(1), 0);
    CallLog::about("process of -1 frames");
    plugin->process(in.block(1), out.block(1), -1);
    c.report.pass("NaN, infinities, out-of-range values and indices, odd rates and block sizes, empty blocks: "
                  "no crash or overrun");
}

void checkLaterOpcodes(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    GuardedRegion zeros(4096, "a zeroed 4096-byte buffer");
    std::string answered;
    for (std::int32_t opcode = 25; opcode <= 80; ++opcode) {
        std::memset(zeros.data(), 0, 4096);
        if (call(*plugin, opcode, 0, 0, zeros.data()) != 0) answered += " " + std::to_string(opcode);
    }
    if (answered.empty()) {
        c.report.pass("opcodes 25 to 80 answer 0");
    } else {
        c.report.note("answers opcodes of later interface versions:" + answered);
    }
}

struct Check {
    CheckInfo info;
    std::function<void(Context&)> run;
};

const std::vector<Check>& checks() {
    static const std::vector<Check> all = {
        {{"load", "the file loads, exports main and main answers a record of the interface", false, true, false}, checkLoad},
        {{"record", "counts not negative; an entry for what the flags and counts promise", false, true, false}, checkRecord},
        {{"version-first", "(a note only) main asks for the host's version first", false, false, false}, checkVersionFirst},
        {{"host-refusal", "(a note only) no instance for a host that answers 0 to the version request", false, false, false},
         checkHostRefusal},
        {{"instances", "each call of main makes an instance of its own", false, false, false}, checkInstances},
        {{"opcodes", "opcodes 0 to 24 with proper arguments: no crash", false, false, false}, checkOpcodes},
        {{"open-close", "instances made, switched on and off and closed over and over: no crash, no hang", false, false, false},
         checkOpenClose},
        {{"texts", "every text ends within a 256-byte buffer", false, false, false}, checkTexts},
        {{"parameters", "values 0 to 1 taken; what reads back is finite", false, false, false}, checkParameters},
        {{"programs", "each program can be selected and opcode 3 reports it", false, false, false}, checkPrograms},
        {{"state", "where chunks are offered (flag 32), a chunk brings parameters back in a new instance", false, false, false},
         checkState},
        {{"audio", "blocks of 1 frame up to the announced size, in place too: finite output, nothing read or written "
                   "outside the block or into an input", false, false, false},
         checkAudio},
        {{"rates", "sample rates of 22050 to 192000 Hz and blocks of 1 to 8192 frames: finite output", false, false, false},
         checkRates},
        {{"threads", "parameters changed from another thread during processing: no crash", false, false, false},
         checkThreads},
        {{"cost", "(a warning only) the median block within the real-time budget", false, false, false}, checkCost},
        {{"hostile-values", "NaN, infinities, out-of-range values and indices, odd rates: no crash or overrun", true, false, false},
         checkHostileValues},
        {{"later-opcodes", "(a note only) opcodes of later interface versions", true, false, true}, checkLaterOpcodes},
    };
    return all;
}

}  // namespace

const std::vector<CheckInfo>& validationChecks() {
    static const std::vector<CheckInfo> infos = [] {
        std::vector<CheckInfo> list;
        for (const auto& check : checks()) list.push_back(check.info);
        return list;
    }();
    return infos;
}

int runValidationCheck(const CheckRequest& request) {
    Report report(request.resultFile);
    if (!request.callLog.empty()) CallLog::open(request.callLog);
    CrashReport::install(report.descriptor());
    for (const auto& check : checks()) {
        if (request.check != check.info.name) continue;
        Context context{report, request.plugin, request.strict, request.seed, request.instanceSeconds};
        try {
            check.run(context);
        } catch (const PluginError& error) {
            report.fail(error.what());
        } catch (const std::exception& error) {
            // An exception crossing the interface ends a host.
            report.fail(std::string("an exception (") + error.what() + ") came out of the plug-in, in " + CallLog::current());
        }
        std::fflush(stdout);
        return 0;
    }
    report.fail("no check named " + request.check);
    return 1;
}
