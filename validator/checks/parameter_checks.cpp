// The checks of parameters and programs: values taken and read back, programs
// selected and reported, and (strict) hostile values and indices.
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

void checkHostileValues(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    const float values[] = {NAN, INFINITY, -INFINITY, -1.0f, 2.0f, 1e30f, -1e30f, std::numeric_limits<float>::denorm_min()};
    const std::int32_t indices[] = {-1, r->numParams, r->numParams + 1, INT32_MIN, INT32_MAX};
    switchOn(*plugin);
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
    for (float rate : {0.0f, -kHostRate, NAN, INFINITY, 1.0f, 768000.0f}) call(*plugin, kOpSetSampleRate, 0, 0, nullptr, rate);
    for (std::intptr_t block : {0, -1, 65536}) call(*plugin, kOpSetBlockSize, 0, block);
    switchOn(*plugin);
    CallLog::about("process of 0 frames");
    plugin->process(in.block(1), out.block(1), 0);
    CallLog::about("process of -1 frames");
    plugin->process(in.block(1), out.block(1), -1);
    c.report.pass("NaN, infinities, out-of-range values and indices, odd rates and block sizes, empty blocks: "
                  "no crash or overrun");
}

}  // namespace

std::vector<Check> parameterChecks() {
    return {
        {{.name = "parameters", .demand = "values 0 to 1 taken; what reads back is finite", .why = "hosts show and store what reads back; stepped or choice values that read back quantised are NOTEs"}, checkParameters},
        {{.name = "programs", .demand = "each program can be selected and opcode 3 then reports it", .why = "hosts store and restore the program number"}, checkPrograms},
        {{.name = "hostile-values", .demand = "NaN, infinities, out-of-range values and indices, odd rates and block sizes: no crash or overrun", .why = "a host may send anything", .strictOnly = true}, checkHostileValues},
    };
}
