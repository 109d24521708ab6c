// The plain functions a host reaches an instance through. Each finds the
// effect through the record's `object` field and forwards to its virtual
// operation; none lets a C++ exception escape to the host.
#pragma once

#include <cstdint>

#include "interface/effect_record.h"

class EffectBase;

// Makes a new effect on the heap, or answers null. It may throw (out of
// memory, say); createInstance turns any exception into null.
using EffectFactory = EffectBase* (*)(HostCallback host);

// Provided by each plug-in library's own code: the effect that its `main`
// creates.
EffectBase* createEffect(HostCallback host);

// The steps of the exported `main`: ask the host for its version (request 1),
// give up with null on a zero answer, otherwise create the effect and return
// its record. Null as well when the effect cannot be created.
EffectRecord* createInstance(HostCallback host, EffectFactory factory);

// Opcode 1 closes the instance, deletes the effect and answers 1.
std::intptr_t PLUGIN_CALL dispatchEntry(EffectRecord* effect, std::int32_t opcode,
                                        std::int32_t index, std::intptr_t value, void* ptr,
                                        float opt);
void PLUGIN_CALL processEntry(EffectRecord* effect, float** inputs, float** outputs,
                              std::int32_t frames);
void PLUGIN_CALL setParameterEntry(EffectRecord* effect, std::int32_t index, float value);
float PLUGIN_CALL getParameterEntry(EffectRecord* effect, std::int32_t index);
void PLUGIN_CALL processReplacingEntry(EffectRecord* effect, float** inputs, float** outputs,
                                       std::int32_t frames);
