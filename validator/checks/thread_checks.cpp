// The check of threads: parameters changed from another thread while
// processing.
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

void checkThreads(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    switchOn(*plugin);
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

}  // namespace

std::vector<Check> threadChecks() {
    return {
        {{.name = "threads", .demand = "parameters changed from another thread while processing: no crash", .why = "hosts automate from other threads"}, checkThreads},
    };
}
