// The checks of loading and the record: the library loads, main makes
// instances of their own, and the record promises only what it has.
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

void checkVersionFirst(Context& c) {
    auto host = std::make_shared<HostSide>(2400, HostSide::Log::kept);
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

}  // namespace

std::vector<Check> loadingChecks() {
    return {
        {{.name = "load", .demand = "the file loads, exports main, and main answers a record with the interface's magic and a dispatcher", .why = "without it there is no instance at all (a gate: the other checks do not run)", .gate = true}, checkLoad},
        {{.name = "record", .demand = "no negative counts; an entry for whatever the flags and counts promise (replacing processing, parameters)", .why = "hosts call what the record offers; a null entry called is a crash. A null object, replacing processing only, or more than 64 channels are NOTEs: hosts take them", .gate = true}, checkRecord},
        {{.name = "version-first", .demand = "main asks for the host's version first", .why = "what this interface version's own plug-in does; others may not", .severity = Severity::notes}, checkVersionFirst},
        {{.name = "host-refusal", .demand = "no instance for a host that answers 0 to the version request", .why = "what this interface version's own plug-in does; others may not", .severity = Severity::notes}, checkHostRefusal},
        {{.name = "instances", .demand = "each call of main makes an instance of its own", .why = "hosts run several at once; shared state corrupts them"}, checkInstances},
    };
}
