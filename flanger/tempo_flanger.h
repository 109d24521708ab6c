// The flanger as an effect of the 1.0 plug-in interface: the record, the
// dispatcher and the base's requests come from EffectBase; parameters,
// programs and audio go to the FlangerEngine it owns, and the texts the host
// shows are made here.
#pragma once

#include <cstdint>

#include "flanger/flanger_engine.h"
#include "host/effect_base.h"

inline constexpr std::int32_t kNumFlangerPrograms = flangerfacts::kNumPrograms;
inline constexpr std::int32_t kFlangerUniqueId = flangerfacts::kUniqueId;

class TempoFlanger : public EffectBase {
public:
    // Throws std::bad_alloc when its storage cannot be had.
    explicit TempoFlanger(HostCallback hostCallback);

    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    void process(float** inputs, float** outputs, std::int32_t frames) override;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override;
    // Program 0 always comes back with the factory values; a number outside
    // the bank selects nothing.
    void setProgram(std::int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(std::int32_t index, char* label) override;
    void getParameterDisplay(std::int32_t index, char* text) override;
    void getParameterName(std::int32_t index, char* text) override;
    // Off: silences the lines and the tables. On: silences the lines and
    // rebuilds all three tables from the current settings.
    void suspend() override;
    void resume() override;

private:
    friend struct TempoFlangerProbe;

    void formatRounded(float value, char* text);

    FlangerEngine engine;
};
