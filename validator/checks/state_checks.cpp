// The check of state: a chunk, where chunks are offered, brings the
// parameters back in a new instance.
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
        switchOn(*plugin);
        switchOn(*fresh);
        if (renderNoise(*plugin, c.seed) != renderNoise(*fresh, c.seed)) {
            c.report.note(std::string("the same ") + kind + " chunk, the same input: another output (inner state of its own)");
        }
        call(*plugin, kOpMainsChanged, 0, 0);
        c.report.pass(std::string("its ") + kind + " chunk (" + std::to_string(size) + " bytes) brings " +
                      std::to_string(back) + " of " + std::to_string(changed) + " changed parameters back in a new instance");
    }
}

}  // namespace

std::vector<Check> stateChecks() {
    return {
        {{.name = "state", .demand = "where chunks are offered (flag 32), a chunk brings the parameters back in a new instance", .why = "hosts keep projects in chunks; parameters that come back otherwise (linked, stepped, kept out of the state) are NOTEs"}, checkState},
    };
}
