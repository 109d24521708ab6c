// The tempo-synchronised stereo flanger itself, for every edition of it:
// two 100-sample feedback combs whose delay a wavetable LFO sets once every
// 100 frames, one LFO cycle lasting a whole number of beats at the Tempo
// parameter's BPM. It holds the eight parameters and the bank of 16
// programs, works out the quantities they give, keeps the LFO's place and
// runs the audio loop. Editions wrap it: TempoFlanger for hosts of the 1.0
// interface, the LV2 plug-in for LV2 hosts.
//
// Owns its comb lines, LFO tables and program bank for its whole life; all
// of it is allocated in the constructor. Parameter values are normalized
// (0..1 as the host sees them) and are stored as given, never clamped.
//
// Threads: one thread at a time. process, processReplacing, setParameter
// and the following calls allocate nothing, take no locks and do no I/O.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/lfo_tables.h"
#include "dsp/stereo_comb.h"
#include "flanger/flanger_facts.h"

// One program of the bank: the eight normalized values in parameter order and
// a name of at most 23 characters.
struct FlangerProgram {
    FlangerProgram();

    float values[kNumFlangerParams];
    char name[24];
};

class FlangerEngine {
public:
    // Program 0 loaded and switched off (lines and tables silent). Throws
    // std::bad_alloc when its storage cannot be had.
    FlangerEngine();

    FlangerEngine(const FlangerEngine&) = delete;
    FlangerEngine& operator=(const FlangerEngine&) = delete;

    // Back to what the constructor leaves, allocating nothing: the factory
    // bank with program 0 loaded, lines silent at their first delay, the
    // LFO clock at its start, following no host, switched off.
    void reset();

    // Stores the value in the working set and the current program and works
    // out what it drives there and then; a rebuild of the current table
    // restarts its cycle. An index outside 0..7 is ignored.
    void setParameter(std::int32_t index, float value);
    // The working value; 0 for an index outside 0..7.
    float getParameter(std::int32_t index) const;
    // Loads a program by setting its eight values in index order. Program 0
    // always comes back with the factory values; a number outside the bank
    // selects nothing.
    void setProgram(std::int32_t program);
    std::int32_t program() const { return currentProgram; }
    // A program of the bank, 0..15 (others: the current one).
    FlangerProgram& programRecord(std::int32_t program);

    // Renders `frames` frames (nothing when frames <= 0) of two input and two
    // output channels, which may be the same arrays: process adds into the
    // outputs, processReplacing writes over them.
    void process(float** inputs, float** outputs, std::int32_t frames);
    void processReplacing(float** inputs, float** outputs, std::int32_t frames);
    // Off: silences the lines and the tables. On: silences the lines and
    // rebuilds all three tables from the current settings. Neither moves the
    // LFO clock.
    void suspend();
    void resume();

    // --- following a host's song ------------------------------------------
    // Where a host's song is at the next frame, while its transport rolls.
    struct SongPlace {
        double frame;          // song frames from the song's start (may be negative); NaN: unknown
        double beat;           // the host's beats from the song's start there; NaN: unknown
        double speed;          // song frames per frame: 1 plays, other values wind
        double beatsPerFrame;  // how far the beat moves with each frame: tempo x speed / 60 / rate
    };
    // Locks the LFO to the host's song from the next frame on, until
    // runFree. Steps fall on song frames that are multiples of 100 (where the
    // frame is known). With `byBeat`, each step plays the entry at the
    // beat's place in the cycle, one cycle spanning exactly beatsPerCycle of
    // the host's beats (needs the beat). Without, entries play in turn as
    // from the song's start (needs the frame): song frames 0..99 keep the
    // lines' first delay, the step at song frame 100 k plays entry k - 1 of
    // the cycle. A place that does not follow from the last one (a locate,
    // a loop, the transport starting) moves the sweep there at once; the
    // next one of a steadily playing song changes nothing. While Mod Amt is
    // 0 the lines keep Depth's delay. A place that cannot lock (unknown
    // values, non-finite numbers) leaves the LFO running free.
    void followSong(const SongPlace& place, bool byBeat);
    // Unlocks: the LFO runs on by itself from where it is, one step every
    // 100 frames, its entries in turn.
    void runFree();
    bool followingSong() const { return songLocked; }

    // --- what the editions show ---------------------------------------------
    std::uint32_t cycleBeats() const { return beatsPerCycle; }  // 1..8, 16, 32, 48, 64 or 96
    float outputGainValue() const { return outputGain; }        // linear, 0..4 for Boost 0..1
    float waveformZoneWidth() const { return waveStep; }

private:
    friend struct TempoFlangerProbe;

    float working(FlangerParameter parameter) const { return values[parameter]; }
    float lfoRateFromBpm(float bpm, std::uint32_t beats) const;  // Hz
    float clampCenter(float amount, float center) const;         // samples
    void rebuildCurrentTable();
    // An LFO value in samples to a whole delay: halves go down, anything
    // above a half up; negatives are truncated.
    static std::int32_t roundDelay(float x);
    // The LFO step `offset` frames into the current call: the entry of the
    // current shape's table (the next one, or the one at the host's beat)
    // becomes currentDelay. True when that moves the lines to another delay
    // (the caller then sets it); setting the delay they have would change
    // nothing.
    bool stepLfo(std::int32_t offset);
    // The current shape's table; null for none.
    LfoTable* currentTable();
    // Moves `table` to the entry the beat's place in the cycle gives.
    void moveToBeat(LfoTable& table, double beat) const;
    // Puts the sweep where the locked song has it at the next frame.
    void placeInSong();
    // Both processing calls: `accumulate` adds into the outputs, otherwise
    // they are overwritten.
    void run(float** inputs, float** outputs, std::int32_t frames, bool accumulate);

    std::unique_ptr<StereoComb> comb;  // the left and right delay lines
    std::unique_ptr<SineTable> sineTable;
    std::unique_ptr<TriangleTable> triangleTable;
    std::unique_ptr<SawTable> sawTable;
    std::unique_ptr<FlangerProgram[]> programs;
    std::int32_t currentProgram = 0;

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

    // The host's song while locked to it, at the next frame.
    bool songLocked = false;
    bool songByBeat = false;
    SongPlace song{};
};
