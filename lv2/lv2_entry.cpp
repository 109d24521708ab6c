// The LV2 library's one export, lv2_descriptor, and the plain functions of
// its descriptor, each forwarding to the plug-in's Lv2Flanger.
#include <lv2/core/lv2.h>

#include <new>

#include "lv2/lv2_flanger.h"

namespace {

LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
    try {
        return new Lv2Flanger(sampleRate, features);
    } catch (...) {
        return nullptr;  // out of memory
    }
}

Lv2Flanger* of(LV2_Handle handle) { return static_cast<Lv2Flanger*>(handle); }

void connectPort(LV2_Handle handle, uint32_t port, void* data) { of(handle)->connect(port, data); }
void activate(LV2_Handle handle) { of(handle)->activate(); }
void run(LV2_Handle handle, uint32_t frames) { of(handle)->run(frames); }
void deactivate(LV2_Handle handle) { of(handle)->deactivate(); }
void cleanup(LV2_Handle handle) { delete of(handle); }
const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    TF_LV2_URI, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
