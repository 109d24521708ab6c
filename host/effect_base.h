// Base class of every effect in the library: it owns the host-visible record,
// turns host opcodes into virtual calls, keeps what the host announces (sample
// rate, block size) and the current program, wraps the requests an effect may
// send to its host, and carries the value-to-text conversions.
//
// Threads: everything runs on the thread the host calls from; nothing here
// locks. The audio path (process, processReplacing, and setParameter, which
// hosts call during playback) must not allocate, do I/O or take locks.
#pragma once

#include <cstdint>

#include "interface/effect_record.h"

// Interface of an optional editor window. No effect of this library has one;
// the hook exists so that the editor opcodes keep their meaning.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual std::int32_t getRect(void* ptr) = 0;   // opcode 13
    virtual std::int32_t open(void* ptr) = 0;      // opcode 14
    virtual void close() = 0;                      // opcode 15
    virtual void idle() = 0;                       // opcode 19
};

class EffectBase {
public:
    EffectBase(HostCallback hostCallback, std::int32_t numPrograms, std::int32_t numParams);
    virtual ~EffectBase();

    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // --- audio path -------------------------------------------------------
    // Normalized parameter values, 0..1 as the host sees them.
    virtual void setParameter(std::int32_t index, float value);
    virtual float getParameter(std::int32_t index);
    // setParameter, then tells the host (request 0).
    virtual void setParameterAutomated(std::int32_t index, float value);
    // Adds the processed signal into the outputs.
    virtual void process(float** inputs, float** outputs, std::int32_t frames) = 0;
    // Writes the processed signal over the outputs.
    virtual void processReplacing(float** inputs, float** outputs, std::int32_t frames);

    // --- control path -----------------------------------------------------
    virtual std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                     void* ptr, float opt);
    virtual void open();
    virtual void close();
    virtual std::int32_t getProgram();
    virtual void setProgram(std::int32_t program);
    // Text buffers are the host's: names up to 23 characters, labels 9,
    // displays 8, parameter names 13, each plus the terminator.
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(std::int32_t index, char* label);
    virtual void getParameterDisplay(std::int32_t index, char* text);
    virtual void getParameterName(std::int32_t index, char* text);
    virtual float getVu();
    virtual std::int32_t getChunk(void* ptr, bool isPreset);
    virtual std::int32_t setChunk(void* ptr, std::int32_t byteSize, bool isPreset);
    virtual void setSampleRate(float rate);
    virtual void setBlockSize(std::int32_t size);
    virtual void suspend();
    virtual void resume();

    // --- record setters, used by a derived constructor ----------------------
    virtual void setUniqueID(std::int32_t id);
    virtual void setNumInputs(std::int32_t count);
    virtual void setNumOutputs(std::int32_t count);
    virtual void hasVu(bool state);
    virtual void hasClip(bool state);
    virtual void canMono(bool state);
    virtual void canProcessReplacing(bool state);
    virtual void programsAreChunks(bool state);
    virtual void setRealtimeQualities(std::int32_t qualities);
    virtual void setOfflineQualities(std::int32_t qualities);
    virtual void setInitialDelay(std::int32_t delay);

    virtual float getSampleRate();        // Hz
    virtual std::int32_t getBlockSize();  // sample frames

    // --- requests to the host; fixed answers when there is no callback ------
    virtual std::int32_t hostVersion();  // never 0
    virtual std::int32_t hostCurrentUniqueId();
    virtual std::int32_t hostIdle();
    virtual bool isInputConnected(std::int32_t index);
    virtual bool isOutputConnected(std::int32_t index);

    // --- value-to-text; each writes at most 8 characters and a terminator ---
    // value: linear amplitude (1.0 is unity); text: the level in dB.
    virtual void formatDecibels(float value, char* text);
    // value: a period in samples; text: the frequency in Hz.
    virtual void formatHertz(float value, char* text);
    // value: a duration in samples; text: milliseconds.
    virtual void formatMilliseconds(float value, char* text);
    // Exactly 8 characters; the fraction is cut, never rounded.
    virtual void formatFloat(float value, char* text);
    // Right-aligned in 7 characters, at most 8.
    virtual void formatInteger(std::int32_t value, char* text);

    // The host's handle on this instance.
    EffectRecord* getRecord() { return &record; }

protected:
    float sampleRate;
    EffectEditor* editor;
    HostCallback hostCallback;
    std::int32_t numPrograms;
    std::int32_t currentProgram;
    std::int32_t blockSize;
    EffectRecord record;

private:
    std::intptr_t callHost(std::int32_t request, std::int32_t index, std::intptr_t value, float opt);
    void setFlag(std::int32_t bit, bool state);
};
