#include "flanger/tempo_flanger.h"

TempoFlanger::TempoFlanger(HostCallback hostCallback)
    : EffectBase(hostCallback, kNumFlangerPrograms, kNumFlangerParams) {
    setNumInputs(flangerfacts::kInputs);
    setNumOutputs(flangerfacts::kOutputs);
    setUniqueID(kFlangerUniqueId);
    canMono(true);
    canProcessReplacing(true);
    currentProgram = engine.program();
}

void TempoFlanger::setProgram(std::int32_t program) {
    engine.setProgram(program);
    currentProgram = engine.program();
}

void TempoFlanger::setParameter(std::int32_t index, float value) { engine.setParameter(index, value); }

float TempoFlanger::getParameter(std::int32_t index) { return engine.getParameter(index); }

void TempoFlanger::process(float** inputs, float** outputs, std::int32_t frames) {
    engine.process(inputs, outputs, frames);
}

void TempoFlanger::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    engine.processReplacing(inputs, outputs, frames);
}

void TempoFlanger::suspend() { engine.suspend(); }

void TempoFlanger::resume() { engine.resume(); }
