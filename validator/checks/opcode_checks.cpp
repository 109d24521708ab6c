// The checks of opcodes and texts: every opcode of the interface with proper
// arguments, instances made and closed over and over, texts within their
// buffers, and (strict) the opcodes of later versions.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

#include "validator/call_log.h"
#include "validator/checks/check.h"
#include "validator/checks/check_support.h"
#include "validator/guarded_memory.h"

using namespace checksupport;

namespace {

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
        if (opcode == kOpSetSampleRate) opt = kHostRate;
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
        switchOn(*plugin);
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

}  // namespace

std::vector<Check> opcodeChecks() {
    return {
        {{.name = "opcodes", .demand = "opcodes 0 to 24 with proper arguments answer without a crash (a plug-in with an editor keeps its editor opcodes: they need a window)", .why = "hosts send them all"}, checkOpcodes},
        {{.name = "open-close", .demand = "instances made, switched on and off and closed over and over", .why = "hosts do so on every project load"}, checkOpenClose},
        {{.name = "texts", .demand = "every name, label, display and program name ends within a 256-byte buffer", .why = "a text past its buffer overwrites the host's memory. Texts of 64 characters or more are a WARN (some hosts reserve 64), longer than 8 a NOTE"}, checkTexts},
        {{.name = "later-opcodes", .demand = "opcodes 25 to 80 with a zeroed buffer", .why = "later interface versions give them a meaning; hosts of this version never send them", .severity = Severity::notes, .strictOnly = true, .crashIsNote = true}, checkLaterOpcodes},
    };
}
