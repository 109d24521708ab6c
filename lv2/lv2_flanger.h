// The flanger as an LV2 plug-in: one TempoFlanger, driven as a host of its
// own interface would drive it. Control values reach setParameter only
// when they change (some changes restart the LFO cycle), in parameter index
// order, as a host restores a project; the first run applies them all.
// With `sync` on, Tempo follows the host's transport tempo (time:Position
// events), compensated for the host's sample rate so that one LFO cycle
// lasts exactly its beats; each tempo change restarts the cycle.
//
// Runs in place. `run` allocates nothing, locks nothing and does no I/O.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cstdint>

#include "flanger/tempo_flanger.h"
#include "lv2/control_mapping.h"

class Lv2Flanger {
public:
    // The host's features may include urid:map, without which the host's
    // tempo cannot be read (sync then follows the tempo control).
    Lv2Flanger(double sampleRate, const LV2_Feature* const* features);

    Lv2Flanger(const Lv2Flanger&) = delete;
    Lv2Flanger& operator=(const Lv2Flanger&) = delete;

    void connect(std::uint32_t port, void* data);
    void activate();
    void deactivate();
    void run(std::uint32_t frames);

private:
    // Sends every parameter whose value differs from the one last sent.
    void applyChangedControls();
    // The value of a parameter's control port, in its units (the default
    // when not connected).
    float controlValue(std::int32_t parameter) const;
    // The normalized value each control asks for now.
    float wanted(std::int32_t parameter) const;
    // The host's tempo in an event, if it has a usable one.
    bool readTempo(const LV2_Atom* atom, double& bpm) const;
    void render(std::uint32_t from, std::uint32_t frames);

    TempoFlanger flanger{nullptr};
    double sampleRate;
    const float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    const float* controls[kNumFlangerParams] = {};
    const float* sync = nullptr;
    const LV2_Atom_Sequence* events = nullptr;
    float* latency = nullptr;

    float heard[kNumFlangerParams] = {};  // control values, in their units, when last mapped
    float sent[kNumFlangerParams] = {};
    bool sentAny = false;
    double hostBpm = 0.0;  // 0: none heard yet

    struct Urids {
        LV2_URID atomBlank = 0;
        LV2_URID atomObject = 0;
        LV2_URID atomFloat = 0;
        LV2_URID atomDouble = 0;
        LV2_URID atomInt = 0;
        LV2_URID atomLong = 0;
        LV2_URID timePosition = 0;
        LV2_URID timeBeatsPerMinute = 0;
    } urids;
    bool canReadTempo = false;
};
