// The flanger as an LV2 plug-in: one FlangerEngine, driven from the
// plug-in's ports.
//
// Controls reach the engine only when they change (some changes restart
// the LFO cycle), in parameter index order, as a host of the 1.0 interface
// restores a project; the first run after activation applies them all.
// When Depth and Mod Amt change together (the first run, a restored
// session), Depth is applied once more after Mod Amt, so that settings
// made at once sound as the same settings made one by one: with Mod Amt 0
// the lines hold Depth's delay.
//
// The host's song (time:Position events): while its transport rolls, the
// LFO is locked to it. With `sync` on, Tempo follows the host's tempo
// (compensated for the host's sample rate) and each step plays the entry at
// the host's beat, so one cycle spans exactly Resolution beats and a bar
// always meets the same point of the sweep; with `sync` off, the LFO keeps
// the Tempo control and plays as from the song's start, so a render from
// the song's start equals the library's render of the same audio. While the
// transport stands still, or the host sends no position, the sweep runs on
// by itself from where it is (sync on: at the host's last tempo).
//
// Runs in place. `run` allocates nothing, locks nothing and does no I/O.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cstdint>

#include "flanger/flanger_engine.h"
#include "lv2/control_mapping.h"

class Lv2Flanger {
public:
    // The host's features may include urid:map, without which the host's
    // song cannot be read (the sweep then always runs by itself).
    Lv2Flanger(double sampleRate, const LV2_Feature* const* features);

    Lv2Flanger(const Lv2Flanger&) = delete;
    Lv2Flanger& operator=(const Lv2Flanger&) = delete;

    void connect(std::uint32_t port, void* data);
    // A fresh start: lines, LFO clock and place, and what was heard of the
    // host, as a new instance has them; the next run applies every control.
    void activate();
    void deactivate();
    void run(std::uint32_t frames);

private:
    // What a time:Position event told, each part NaN when it was not there.
    struct HostTime {
        double bpm;
        double speed;
        double frame;
        double beat;
    };

    // Sends every parameter whose value differs from the one last sent.
    void applyChangedControls();
    // The value of a parameter's control port, in its units (the factory
    // value when not connected).
    float controlValue(std::int32_t parameter) const;
    // The normalized value each control asks for now.
    float wanted(std::int32_t parameter) const;
    void send(std::int32_t parameter, float value);
    bool syncOn() const { return sync != nullptr && *sync > 0.5f; }
    // The parts of a time:Position event; false for any other event.
    bool readTime(const LV2_Atom* atom, HostTime& time) const;
    // Takes in what the host said of its song: the tempo, and where the LFO
    // stands.
    void hear(const HostTime& time);
    void render(std::uint32_t from, std::uint32_t frames);

    FlangerEngine engine;
    double sampleRate;
    const float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    const float* controls[kNumFlangerParams] = {};
    const float* sync = nullptr;
    const LV2_Atom_Sequence* events = nullptr;

    float heard[kNumFlangerParams] = {};  // control values, in their units, when last mapped
    float sent[kNumFlangerParams] = {};
    bool sentAny = false;
    double hostBpm = 0.0;    // 0: none heard yet
    double hostSpeed = 1.0;  // as long as the host says nothing of it

    struct Urids {
        LV2_URID atomBlank = 0;
        LV2_URID atomObject = 0;
        LV2_URID atomFloat = 0;
        LV2_URID atomDouble = 0;
        LV2_URID atomInt = 0;
        LV2_URID atomLong = 0;
        LV2_URID timePosition = 0;
        LV2_URID timeBeatsPerMinute = 0;
        LV2_URID timeSpeed = 0;
        LV2_URID timeFrame = 0;
        LV2_URID timeBeat = 0;
        LV2_URID timeBar = 0;
        LV2_URID timeBarBeat = 0;
        LV2_URID timeBeatsPerBar = 0;
    } urids;
    bool canReadTime = false;
};
