#include "host/entry.h"

#include "host/effect_base.h"

namespace {

EffectBase* effectOf(EffectRecord* record) { return static_cast<EffectBase*>(record->object); }

}  // namespace

EffectRecord* createInstance(HostCallback host, EffectFactory factory) {
    if (host == nullptr) return nullptr;
    try {
        if (host(nullptr, kRequestVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        EffectBase* effect = factory(host);
        return effect != nullptr ? effect->getRecord() : nullptr;
    } catch (...) {
        // Out of memory while building the effect (its members are owned, so
        // nothing is left behind), or a host callback that threw.
        return nullptr;
    }
}

std::intptr_t PLUGIN_CALL dispatchEntry(EffectRecord* record, std::int32_t opcode,
                                        std::int32_t index, std::intptr_t value, void* ptr,
                                        float opt) {
    EffectBase* effect = effectOf(record);
    try {
        if (opcode == kOpClose) {
            effect->dispatcher(opcode, index, value, ptr, opt);
            delete effect;
            return 1;
        }
        return effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void PLUGIN_CALL processEntry(EffectRecord* record, float** inputs, float** outputs,
                              std::int32_t frames) {
    try {
        effectOf(record)->process(inputs, outputs, frames);
    } catch (...) {
    }
}

void PLUGIN_CALL setParameterEntry(EffectRecord* record, std::int32_t index, float value) {
    try {
        effectOf(record)->setParameter(index, value);
    } catch (...) {
    }
}

float PLUGIN_CALL getParameterEntry(EffectRecord* record, std::int32_t index) {
    try {
        return effectOf(record)->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

void PLUGIN_CALL processReplacingEntry(EffectRecord* record, float** inputs, float** outputs,
                                       std::int32_t frames) {
    try {
        effectOf(record)->processReplacing(inputs, outputs, frames);
    } catch (...) {
    }
}
