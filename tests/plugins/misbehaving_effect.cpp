// Plug-ins that misbehave on purpose, one way each (chosen at build time by
// MISBEHAVIOUR), so that the validator's checks are seen to fail:
//   1  a display text longer than any host reserves, written past 64 bytes
//   2  a crash on opcode 9
//   3  NaN output
//   4  slow: 2 ms per processing call, so that a render can be interrupted
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "host/effect_base.h"
#include "host/entry.h"
#include "host/value_text.h"

namespace {

class Misbehaving : public EffectBase {
public:
    explicit Misbehaving(HostCallback host) : EffectBase(host, 1, 1) {
        setNumInputs(2);
        setNumOutputs(2);
        canProcessReplacing(true);
    }
    void setParameter(std::int32_t, float value) override { level = value; }
    float getParameter(std::int32_t) override { return level; }
    void getParameterName(std::int32_t index, char* text) override {
        if (index == 0) writeText(text, "Level", kParamNameWidth);
    }
    void getParameterDisplay(std::int32_t index, char* text) override {
        if (index != 0) return;
        if (MISBEHAVIOUR == 1) {
            std::memset(text, 'x', 80);
            text[80] = '\0';
        } else {
            formatFloat(level, text);
        }
    }
    float getVu() override {
        if (MISBEHAVIOUR == 2) {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        }
        return 0.0f;
    }
    void process(float** inputs, float** outputs, std::int32_t frames) override {
        for (std::int32_t c = 0; c < 2; ++c) {
            for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] += sample(inputs[c][i]);
        }
    }
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override {
        if (MISBEHAVIOUR == 4) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        for (std::int32_t c = 0; c < 2; ++c) {
            for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] = sample(inputs[c][i]);
        }
    }

private:
    float sample(float x) const { return MISBEHAVIOUR == 3 ? std::nanf("") : x * level; }
    float level = 0.5f;
};

}  // namespace

EffectBase* createEffect(HostCallback host) { return new Misbehaving(host); }
