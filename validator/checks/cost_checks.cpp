// The check of cost: how much of the real-time budget a block takes.
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

constexpr std::int32_t kCostBlock = 64;
constexpr double kBudgetRate = kHostRate;  // Hz the budget is reckoned at

void checkCost(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    switchOn(*plugin, kHostRate, kCostBlock);
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

}  // namespace

std::vector<Check> costChecks() {
    return {
        {{.name = "cost", .demand = "the median 64-frame block within the real-time budget at 44.1 kHz", .why = "a plug-in slower than real time drops out", .severity = Severity::warns}, checkCost},
    };
}
