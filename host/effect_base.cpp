#include "host/effect_base.h"

#include <cmath>
#include <cstring>

#include "host/entry.h"

namespace {

constexpr float kInitialSampleRate = 44100.0f;  // Hz, until the host says otherwise
constexpr std::int32_t kInitialBlockSize = 1024;
constexpr float kVuScale = 32767.0f;

}  // namespace

EffectBase::EffectBase(HostCallback hostCallback, std::int32_t numPrograms, std::int32_t numParams)
    : sampleRate(kInitialSampleRate),
      editor(nullptr),
      hostCallback(hostCallback),
      numPrograms(numPrograms),
      currentProgram(0),
      blockSize(kInitialBlockSize) {
    std::memset(&record, 0, sizeof record);
    record.magic = kRecordMagic;
    record.dispatcher = dispatchEntry;
    record.process = processEntry;
    record.setParameter = setParameterEntry;
    record.getParameter = getParameterEntry;
    record.numPrograms = numPrograms;
    record.numParams = numParams;
    record.numInputs = 1;
    record.numOutputs = 2;
    record.ioRatio = 1.0f;
    record.object = this;
    record.uniqueId = kDefaultUniqueId;
    record.version = 1;
    record.processReplacing = processReplacingEntry;
}

EffectBase::~EffectBase() { delete editor; }

void EffectBase::setParameter(std::int32_t, float) {}
float EffectBase::getParameter(std::int32_t) { return 0.0f; }

void EffectBase::setParameterAutomated(std::int32_t index, float value) {
    setParameter(index, value);
    if (hostCallback != nullptr) callHost(kRequestAutomate, index, 0, value);
}

void EffectBase::processReplacing(float**, float**, std::int32_t) {}

std::intptr_t EffectBase::dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                     void* ptr, float opt) {
    switch (opcode) {
        case kOpOpen: open(); return 0;
        case kOpClose: close(); return 0;
        case kOpSetProgram:
            // The bank is 0..numPrograms-1: a negative number selects nothing.
            if (value >= 0 && value < numPrograms) setProgram(static_cast<std::int32_t>(value));
            return 0;
        case kOpGetProgram: return getProgram();
        case kOpSetProgramName:
            if (ptr != nullptr) setProgramName(static_cast<char*>(ptr));
            return 0;
        case kOpGetProgramName:
            if (ptr != nullptr) getProgramName(static_cast<char*>(ptr));
            return 0;
        case kOpGetParamLabel:
            if (ptr != nullptr) getParameterLabel(index, static_cast<char*>(ptr));
            return 0;
        case kOpGetParamDisplay:
            if (ptr != nullptr) getParameterDisplay(index, static_cast<char*>(ptr));
            return 0;
        case kOpGetParamName:
            if (ptr != nullptr) getParameterName(index, static_cast<char*>(ptr));
            return 0;
        case kOpGetVu: {
            // The exact product, truncated; a level that no integer holds
            // (NaN, infinite, beyond the 32-bit range) answers 0.
            const double scaled = static_cast<double>(getVu()) * kVuScale;
            if (!(std::fabs(scaled) < 2147483648.0)) return 0;
            return static_cast<std::int32_t>(scaled);
        }
        case kOpSetSampleRate: setSampleRate(opt); return 0;
        case kOpSetBlockSize: setBlockSize(static_cast<std::int32_t>(value)); return 0;
        case kOpMainsChanged:
            if (value == 0) {
                suspend();
            } else {
                resume();
            }
            return 0;
        case kOpEditGetRect: return editor != nullptr ? editor->getRect(ptr) : 0;
        case kOpEditOpen: return editor != nullptr ? editor->open(ptr) : 0;
        case kOpEditClose:
            if (editor != nullptr) editor->close();
            return 0;
        case kOpEditIdle:
            if (editor != nullptr) editor->idle();
            return 0;
        case kOpIdentify: return kIdentifyAnswer;
        case kOpGetChunk: return getChunk(ptr, index != 0);
        case kOpSetChunk: return setChunk(ptr, static_cast<std::int32_t>(value), index != 0);
        default: return 0;
    }
}

void EffectBase::open() {}
void EffectBase::close() {}
std::int32_t EffectBase::getProgram() { return currentProgram; }
void EffectBase::setProgram(std::int32_t program) { currentProgram = program; }
void EffectBase::setProgramName(char* name) { name[0] = '\0'; }
void EffectBase::getProgramName(char* name) { name[0] = '\0'; }
void EffectBase::getParameterLabel(std::int32_t, char* label) { label[0] = '\0'; }
void EffectBase::getParameterDisplay(std::int32_t, char* text) { text[0] = '\0'; }
void EffectBase::getParameterName(std::int32_t, char* text) { text[0] = '\0'; }
float EffectBase::getVu() { return 0.0f; }
std::int32_t EffectBase::getChunk(void*, bool) { return 0; }
std::int32_t EffectBase::setChunk(void*, std::int32_t, bool) { return 0; }
void EffectBase::setSampleRate(float rate) { sampleRate = rate; }
void EffectBase::setBlockSize(std::int32_t size) { blockSize = size; }
void EffectBase::suspend() {}
void EffectBase::resume() {}

void EffectBase::setUniqueID(std::int32_t id) { record.uniqueId = id; }
void EffectBase::setNumInputs(std::int32_t count) { record.numInputs = count; }
void EffectBase::setNumOutputs(std::int32_t count) { record.numOutputs = count; }
void EffectBase::hasVu(bool state) { setFlag(kFlagHasVu, state); }
void EffectBase::hasClip(bool state) { setFlag(kFlagHasClip, state); }
void EffectBase::canMono(bool state) { setFlag(kFlagCanMono, state); }
void EffectBase::canProcessReplacing(bool state) { setFlag(kFlagCanReplacing, state); }
void EffectBase::programsAreChunks(bool state) { setFlag(kFlagProgramChunks, state); }
void EffectBase::setRealtimeQualities(std::int32_t qualities) { record.realtimeQualities = qualities; }
void EffectBase::setOfflineQualities(std::int32_t qualities) { record.offlineQualities = qualities; }
void EffectBase::setInitialDelay(std::int32_t delay) { record.initialDelay = delay; }

float EffectBase::getSampleRate() { return sampleRate; }
std::int32_t EffectBase::getBlockSize() { return blockSize; }

std::int32_t EffectBase::hostVersion() {
    if (hostCallback == nullptr) return 1;
    const auto answer = static_cast<std::int32_t>(callHost(kRequestVersion, 0, 0, 0.0f));
    return answer != 0 ? answer : 1;
}

std::int32_t EffectBase::hostCurrentUniqueId() {
    if (hostCallback == nullptr) return 0;
    return static_cast<std::int32_t>(callHost(kRequestCurrentUniqueId, 0, 0, 0.0f));
}

std::int32_t EffectBase::hostIdle() {
    if (hostCallback == nullptr) return 0;
    return static_cast<std::int32_t>(callHost(kRequestIdle, 0, 0, 0.0f));
}

bool EffectBase::isInputConnected(std::int32_t index) {
    if (hostCallback == nullptr) return true;
    return callHost(kRequestPinConnected, index, 0, 0.0f) == 0;
}

bool EffectBase::isOutputConnected(std::int32_t index) {
    if (hostCallback == nullptr) return true;
    return callHost(kRequestPinConnected, index, 1, 0.0f) == 0;
}

std::intptr_t EffectBase::callHost(std::int32_t request, std::int32_t index, std::intptr_t value,
                                   float opt) {
    return hostCallback(&record, request, index, value, nullptr, opt);
}

void EffectBase::setFlag(std::int32_t bit, bool state) {
    if (state) {
        record.flags |= bit;
    } else {
        record.flags &= ~bit;
    }
}
