// Plug-ins that misbehave on purpose, one way each (chosen at build time by
// MISBEHAVIOUR), so that the validator's checks are seen to fail (and, for
// what the interface allows, to pass with a note):
//   1  a display text longer than any host reserves, written past 256 bytes
//   2  a crash on opcode 9
//   3  NaN output
//   4  slow: 2 ms per processing call, so that a render can be interrupted
//   5  reads past the end of its input when a block is shorter than announced
//   6  writes into its inputs
//   7  writes past the end of a block into its outputs
//   8  overflows a heap block when a parameter is set
//   9  hangs in main
//  10  allocates without bound when switched on
//  11  keeps its state in chunks that do not bring it back
//  12  well-behaved, but unusual: process overwrites instead of adding, a
//      stepped parameter reads back quantised, state kept in chunks
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "host/effect_base.h"
#include "host/entry.h"
#include "host/value_text.h"

namespace {

class Misbehaving : public EffectBase {
public:
    explicit Misbehaving(HostCallback host) : EffectBase(host, 1, 2) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing(true);
        programsAreChunks(MISBEHAVIOUR == 11 || MISBEHAVIOUR == 12);
    }
    void setParameter(std::int32_t index, float value) override {
        if (index == 1) steps = value;
        if (index != 0) return;
        level = value;
        if (MISBEHAVIOUR == 8) {
            // Written as volatile, so that the compiler keeps the writes.
            auto* block = static_cast<volatile char*>(std::malloc(16));
            for (int i = 0; i < 64; ++i) block[i] = 'x';  // 48 bytes past the block
            std::free(const_cast<char*>(block));
        }
    }
    float getParameter(std::int32_t index) override {
        if (index == 1) return MISBEHAVIOUR == 12 ? std::round(steps * 3.0f) / 3.0f : steps;
        return level;
    }
    void getParameterName(std::int32_t index, char* text) override {
        writeText(text, index == 0 ? "Level" : "Steps", kParamNameWidth);
    }
    void getParameterDisplay(std::int32_t index, char* text) override {
        if (index == 0 && MISBEHAVIOUR == 1) {
            std::memset(text, 'x', 300);
            text[300] = '\0';
        } else {
            formatFloat(getParameter(index), text);
        }
    }
    float getVu() override {
        if (MISBEHAVIOUR == 2) {
            std::puts("about to read VU");  // output of its own, which the validator shows with the failure
            std::fflush(stdout);
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        }
        return 0.0f;
    }
    void resume() override {
        if (MISBEHAVIOUR == 10) {
            // Touches every block it gets, and does not look whether it got one.
            for (;;) {
                auto* block = static_cast<char*>(std::malloc(64 << 20));
                std::memset(block, 1, 64 << 20);
                hoard.push_back(block);
            }
        }
    }
    std::int32_t getChunk(void* where, bool) override {
        chunk = {level, steps};
        *static_cast<void**>(where) = chunk.data();
        return static_cast<std::int32_t>(chunk.size() * sizeof(float));
    }
    std::int32_t setChunk(void* data, std::int32_t size, bool) override {
        if (MISBEHAVIOUR == 11 || size < static_cast<std::int32_t>(2 * sizeof(float))) return 0;
        const auto* values = static_cast<const float*>(data);
        level = values[0];
        steps = values[1];
        return 1;
    }
    void process(float** inputs, float** outputs, std::int32_t frames) override {
        for (std::int32_t c = 0; c < 2; ++c) {
            for (std::int32_t i = 0; i < frames; ++i) {
                if (MISBEHAVIOUR == 12) {
                    outputs[c][i] = sample(inputs[c][i]);
                } else {
                    outputs[c][i] += sample(inputs[c][i]);
                }
            }
        }
    }
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override {
        if (MISBEHAVIOUR == 4) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        for (std::int32_t c = 0; c < 2; ++c) {
            // 5: always works on the block size it was told, whatever comes.
            const std::int32_t n = MISBEHAVIOUR == 5 ? getBlockSize() : frames;
            for (std::int32_t i = 0; i < n; ++i) {
                if (MISBEHAVIOUR == 6) inputs[c][i] *= 0.5f;
                outputs[c][i < frames ? i : frames - 1] = sample(inputs[c][i]);
            }
            if (MISBEHAVIOUR == 7) outputs[c][frames] = 0.0f;
        }
    }

private:
    float sample(float x) const { return MISBEHAVIOUR == 3 ? std::nanf("") : x * level; }
    float level = 0.5f;
    float steps = 0.0f;
    std::vector<float> chunk;
    std::vector<char*> hoard;
};

}  // namespace

EffectBase* createEffect(HostCallback host) {
    if (MISBEHAVIOUR == 9) {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return new Misbehaving(host);
}
