// A small effect for testing the host bridge and the loader: a stereo gain
// (parameter 0, 0..1 is 0 to 2 times) whose parameter 1 reads back whether
// the host has switched it on.
#include <cstdio>

#include "host/effect_base.h"
#include "host/entry.h"
#include "host/value_text.h"

namespace {

class GainEffect : public EffectBase {
public:
    explicit GainEffect(HostCallback host) : EffectBase(host, 3, 2) {
        setNumInputs(2);
        setNumOutputs(2);
        setUniqueID(fourCharCode("tGai"));
        canProcessReplacing(true);
    }

    void setParameter(std::int32_t index, float value) override {
        if (index == 0) gain = value;
    }
    float getParameter(std::int32_t index) override {
        if (index == 0) return gain;
        if (index == 1) return switchedOn ? 1.0f : 0.0f;
        return 0.0f;
    }
    void getParameterName(std::int32_t index, char* text) override {
        if (index == 0) writeText(text, "Gain", kParamNameWidth);
        if (index == 1) writeText(text, "On", kParamNameWidth);
    }
    void getProgramName(char* name) override {
        char text[32];
        std::snprintf(text, sizeof text, "Program %d", static_cast<int>(currentProgram));
        writeText(name, text, kProgramNameWidth);
    }
    void suspend() override { switchedOn = false; }
    void resume() override { switchedOn = true; }

    void process(float** inputs, float** outputs, std::int32_t frames) override {
        for (std::int32_t c = 0; c < 2; ++c) {
            for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] += inputs[c][i] * gain * 2.0f;
        }
    }
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override {
        for (std::int32_t c = 0; c < 2; ++c) {
            for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i] * gain * 2.0f;
        }
    }

private:
    float gain = 0.5f;
    bool switchedOn = false;
};

}  // namespace

EffectBase* createEffect(HostCallback host) { return new GainEffect(host); }
