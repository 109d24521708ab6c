// The tempo-synchronised stereo flanger: two 100-sample feedback combs whose
// delay a wavetable LFO sets once every 100 frames, one LFO cycle lasting a
// whole number of beats at the Tempo parameter's BPM.
//
// Owns its comb lines, LFO tables and program bank for its whole life; all
// of it is allocated in the constructor. Parameter values are normalized
// (0..1 as the host sees them) and are stored as given, never clamped.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/lfo_tables.h"
#include "dsp/stereo_comb.h"
#include "flanger/flanger_parameters.h"
#include "host/effect_base.h"

inline constexpr std::int32_t kNumFlangerPrograms = 16;
inline constexpr std::int32_t kFlangerUniqueId = fourCharCode("Qz7v");

// One program of the bank: the eight normalized values in parameter order and
// a name of at most 23 characters.
struct FlangerProgram {
    FlangerProgram();

    float values[kNumFlangerParams];
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
    // Both processing calls: `accumulate` adds into the outputs, otherwise
    // they are overwritten.
    void run(float** inputs, float** outputs, std::int32_t frames, bool accumulate);

    void formatRounded(float value, char* text);

    float working(FlangerParameter parameter) const { return values[parameter]; }

    std::unique_ptr<StereoComb> comb;  // the left and right delay lines
    std::unique_ptr<SineTable> sineTable;
    std::unique_ptr<TriangleTable> triangleTable;
    std::unique_ptr<SawTable> sawTable;
    std::unique_ptr<FlangerProgram[]> programs;

    // Working values, normalized, by FlangerParameter.
    float values[kNumFlangerParams] = {};

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
    WaveShape waveShape = WaveShape::none;
    WaveShape lastWaveShape = WaveShape::none;  // the shape the last Waveform change rebuilt
    std::int32_t currentDelay = 0;    // samples, last taken from the LFO
    std::uint32_t sampleCounter = 0;  // frames processed with modulation on
};
