// The checks of audio and rates: blocks of every size in guarded buffers,
// in place, adding against replacing, at every common rate and block size.
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

void checkAudio(Context& c) {
    auto plugin = makeInstance(openLibrary(c.plugin));
    const EffectRecord* r = plugin->record();
    switchOn(*plugin);
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
        switchOn(*a);
        switchOn(*b);
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

}  // namespace

std::vector<Check> audioChecks() {
    return {
        {{.name = "audio", .demand = "blocks of 1 frame up to the announced size, in place too: finite output, nothing read or written outside the block, nothing written into an input", .why = "hosts pass shorter blocks and their own buffers; an access outside corrupts or crashes them, NaN spreads through a mix. A process that overwrites instead of adding is a NOTE"}, checkAudio},
        {{.name = "rates", .demand = "sample rates of 22050 to 192000 Hz and blocks of 1 to 8192 frames, each set while switched off: finite output", .why = "hosts change both between sessions"}, checkRates},
    };
}
