// A plug-in written without the effect base, as some are: its record's
// `object` field is null (it finds its state from the record's address) and
// it offers only replacing processing (its `process` entry is null). Hosts
// take both; so must the loader and the validator, never calling the null
// entry. A gain of parameter 0, on any channel count (CHANNELS in and out).
#include <cstddef>
#include <cstring>
#include <new>

#include "interface/effect_record.h"

namespace {

struct Instance {
    EffectRecord record{};
    float gain = 0.5f;
};

Instance* of(EffectRecord* record) { return reinterpret_cast<Instance*>(reinterpret_cast<char*>(record) - offsetof(Instance, record)); }

std::intptr_t PLUGIN_CALL dispatch(EffectRecord* record, std::int32_t opcode, std::int32_t index, std::intptr_t,
                                   void* ptr, float) {
    if (opcode == kOpClose) {
        delete of(record);
        return 1;
    }
    if (ptr != nullptr && index == 0 && (opcode == kOpGetParamName || opcode == kOpGetParamDisplay)) {
        std::strcpy(static_cast<char*>(ptr), opcode == kOpGetParamName ? "Gain" : "0.5");
    }
    return 0;
}
void PLUGIN_CALL setParameter(EffectRecord* record, std::int32_t index, float value) {
    if (index == 0) of(record)->gain = value;
}
float PLUGIN_CALL getParameter(EffectRecord* record, std::int32_t index) { return index == 0 ? of(record)->gain : 0.0f; }
void PLUGIN_CALL processReplacing(EffectRecord* record, float** inputs, float** outputs, std::int32_t frames) {
    for (std::int32_t c = 0; c < CHANNELS; ++c) {
        for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] = inputs[c][i] * of(record)->gain * 2.0f;
    }
}

}  // namespace

#if defined(_WIN32)
extern "C" EffectRecord* PLUGIN_CALL bareMain(HostCallback);  // exported as main by the .def file
#else
extern "C" __attribute__((visibility("default"))) EffectRecord* bareMain(HostCallback) __asm__("main");
#endif

EffectRecord* PLUGIN_CALL bareMain(HostCallback host) {
    if (host == nullptr || host(nullptr, kRequestVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* instance = new (std::nothrow) Instance;
    if (instance == nullptr) return nullptr;
    EffectRecord& r = instance->record;
    r.magic = kRecordMagic;
    r.dispatcher = dispatch;
    r.process = nullptr;
    r.setParameter = setParameter;
    r.getParameter = getParameter;
    r.processReplacing = processReplacing;
    r.numPrograms = 1;
    r.numParams = 1;
    r.numInputs = CHANNELS;
    r.numOutputs = CHANNELS;
    r.flags = kFlagCanReplacing;
    r.ioRatio = 1.0f;
    r.object = nullptr;
    r.uniqueId = fourCharCode("tBar");
    r.version = 1;
    return &r;
}
