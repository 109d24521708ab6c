// The tempo-synchronised stereo flanger: two 100-sample feedback combs whose
// delay a wavetable LFO sets once every 100 frames, one LFO cycle lasting a
// whole number of beats at the Tempo parameter's BPM.
//
// Owns its delay lines, LFO tables and program bank for its whole life; all
// of it is allocated in the constructor. Parameter values are normalized
// (0..1 as the host sees them) and are stored as given, never clamped.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/delay_line.h"
#include "dsp/lfo_tables.h"
#include "host/effect_base.h"

enum FlangerParameter : std::int32_t {
    kParamTempo,
    kParamResolution,
    kParamSend,
    kParamDepth,
    kParamModAmount,
    kParamWaveform,
    kParamFeedback,
    kParamBoost,
    kNumFlangerParams
};

inline constexpr std::int32_t kNumFlangerPrograms = 16;
inline constexpr std::int32_t kFlangerUniqueId = fourCharCode("Qz7v");

// One program of the bank: the eight normalized values in parameter order and
// a name of at most 23 characters.
struct FlangerProgram {
    FlangerProgram();

    // The value of parameter `index` (0..7).
    float& value(std::int32_t index);

    float tempo;
    float resolution;
    float send;
    float depth;
    float modAmount;
    float waveform;
    float feedback;
    float boost;
    char name[24];
};

class TempoFlanger : public EffectBase {
public:
    // Throws std::bad_alloc when its storage cannot be had.
    explicit TempoFlanger(HostCallback hostCallback);
    ~TempoFlanger() override;

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

    void updateBeatsPerCycle();
    float lfoRateFromBpm(float bpm, std::uint32_t beats) const;  // Hz
    float clampCenter(float amount, float center) const;         // samples
    void rebuildCurrentTable();
    // An LFO value in samples to a whole delay: halves go down, anything
    // above a half up; negatives are truncated.
    static std::int32_t roundDelay(float x);
    // The LFO step of the current frame: the next entry of the current
    // shape's table becomes currentDelay. True when that moves the lines to
    // another delay (the caller then sets it); setting the delay they have
    // would change nothing.
    bool stepLfo();
    // Both processing calls: Accumulate adds into the outputs, otherwise
    // they are overwritten.
    template <bool Accumulate>
    void run(float** inputs, float** outputs, std::int32_t frames);

    void formatRounded(float value, char* text);

    std::unique_ptr<DelayLine> delayLeft;
    std::unique_ptr<DelayLine> delayRight;
    std::unique_ptr<SineTable> sineTable;
    std::unique_ptr<TriangleTable> triangleTable;
    std::unique_ptr<SawTable> sawTable;
    std::unique_ptr<FlangerProgram[]> programs;

    // Working values, normalized.
    float tempo = 0.0f;
    float resolution = 0.0f;
    float send = 0.0f;
    float depth = 0.0f;
    float modAmount = 0.0f;
    float waveform = 0.0f;
    float feedback = 0.0f;
    float boost = 0.0f;

    float lfoSampleRate = 0.0f;  // Hz the tables were made for
    float beatStep = 0.0f;       // width of one Resolution zone
    float depthSamples = 0.0f;   // depth x maxDelay
    float modSamples = 0.0f;     // sweep amount either side of the centre, samples
    float lfoRate = 0.0f;        // Hz
    float lfoCenter = 0.0f;      // sweep centre, samples
    float waveStep = 0.0f;       // width of one Waveform zone
    float feedbackGain = 0.0f;
    float outputGain = 0.0f;
    std::uint32_t maxDelay = 0;       // samples, the delay lines' length
    std::uint32_t beatsPerCycle = 0;  // 1..8, 16, 32, 48, 64 or 96
    std::int32_t waveShape = 0;       // 1 sine, 2 triangle, 3 sawtooth
    std::int32_t lastWaveShape = 0;   // the shape the last Waveform change rebuilt
    std::int32_t currentDelay = 0;    // samples, last taken from the LFO
    std::uint32_t sampleCounter = 0;  // frames processed with modulation on
};
