// Host side: one effect instance created through a library's `main`, with
// typed calls over its record's entry points. Closing (opcode 1) happens on
// destruction. Texts are read through buffers with guard bytes, so a plug-in
// that writes past a width is seen, not trusted.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "interface/effect_record.h"
#include "loader/plugin_library.h"

// One request a plug-in sent to the host.
struct HostRequestRecord {
    const EffectRecord* effect;
    std::int32_t request;
    std::int32_t index;
    std::intptr_t value;
    float opt;
};

// What the host answers an instance and, when asked to keep them, the
// requests the instance sent (a validator reads them; a renderer has no
// use for a log that grows with every request).
class HostSide {
public:
    enum class Log { none, kept };

    explicit HostSide(std::intptr_t versionAnswer = 2400, Log log = Log::none)
        : versionAnswer(versionAnswer), keeping(log == Log::kept) {}

    std::intptr_t answer(const HostRequestRecord& request);
    // The requests so far; empty unless kept.
    std::vector<HostRequestRecord> requests() const;

private:
    std::intptr_t versionAnswer;
    bool keeping;
    mutable std::mutex mutex;
    std::vector<HostRequestRecord> log;
};

// A text read from the plug-in into a guarded buffer.
struct TextReading {
    std::string text;       // up to the terminator, or the whole buffer without one
    bool terminated;        // a terminator within width + 1 bytes
    bool touched;           // any byte of the buffer changed
    std::size_t extent;     // bytes from the start to the last changed byte
};

class PluginInstance {
public:
    // Calls the library's `main`. Throws PluginError when it answers null or
    // a record that is not one of this interface (wrong magic, no
    // dispatcher). The record's `object` is not looked at: it is the
    // plug-in's own.
    static std::unique_ptr<PluginInstance> create(std::shared_ptr<PluginLibrary> library,
                                                  std::shared_ptr<HostSide> host = nullptr);
    ~PluginInstance();

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    EffectRecord* record() const { return effect; }
    HostSide& host() const { return *hostSide; }

    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                           void* ptr = nullptr, float opt = 0.0f);
    void open() { dispatch(kOpOpen); }
    void setSampleRate(float rate) { dispatch(kOpSetSampleRate, 0, 0, nullptr, rate); }
    void setBlockSize(std::int32_t frames) { dispatch(kOpSetBlockSize, 0, frames); }
    void suspend() { dispatch(kOpMainsChanged, 0, 0); }
    void resume() { dispatch(kOpMainsChanged, 0, 1); }

    std::int32_t numParams() const { return effect->numParams; }
    std::int32_t numPrograms() const { return effect->numPrograms; }
    void setParameter(std::int32_t index, float value) { effect->setParameter(effect, index, value); }
    float getParameter(std::int32_t index) { return effect->getParameter(effect, index); }
    void setProgram(std::int32_t program) { dispatch(kOpSetProgram, 0, program); }
    std::int32_t getProgram() { return static_cast<std::int32_t>(dispatch(kOpGetProgram)); }
    void setProgramName(const std::string& name);

    std::string programName() { return readText(kOpGetProgramName, 0, kProgramNameWidth).text; }
    std::string parameterName(std::int32_t index) { return readText(kOpGetParamName, index, kParamNameWidth).text; }
    std::string parameterLabel(std::int32_t index) { return readText(kOpGetParamLabel, index, kParamLabelWidth).text; }
    std::string parameterDisplay(std::int32_t index) {
        return readText(kOpGetParamDisplay, index, kParamDisplayWidth).text;
    }
    // Sends a text opcode with a guarded buffer; width is what the plug-in
    // may write before the terminator.
    TextReading readText(std::int32_t opcode, std::int32_t index, std::size_t width);
    // The same through a buffer of `size` bytes the caller provides (one
    // that ends against a guard page, say), all of it offered to the plug-in.
    TextReading readText(std::int32_t opcode, std::int32_t index, std::size_t width, unsigned char* buffer,
                         std::size_t size);

    // Channel arrays as the entry points take them: inputs[c], outputs[c].
    // An entry the record leaves null is never called: false then.
    bool process(float* const* inputs, float* const* outputs, std::int32_t frames);
    bool processReplacing(float* const* inputs, float* const* outputs, std::int32_t frames);
    // Replacing processing offered: the flag and the entry both there.
    bool replaces() const { return (effect->flags & kFlagCanReplacing) != 0 && effect->processReplacing != nullptr; }

private:
    PluginInstance(std::shared_ptr<PluginLibrary> library, std::shared_ptr<HostSide> host,
                   EffectRecord* effect);

    std::shared_ptr<PluginLibrary> library;
    std::shared_ptr<HostSide> hostSide;
    EffectRecord* effect;
};
