// What this tool knows of the tempo flanger's LFO (the plug-in whose
// identifier is 'Qz7v'): its wavetables are built for 44100 Hz whatever
// rate the host runs at, and it steps them every 100 frames, so at a rate R
// one LFO cycle lasts 44100 / R times the beats it is set to. Hosts and
// stored projects rely on that, so the plug-in stays as it is; the tool
// says what tempo is heard and can set the Tempo value that gives the asked
// one (Tempo values outside 0..1 are taken, so every rate can be served).
#pragma once

#include <optional>
#include <string>

#include "loader/plugin_instance.h"

class LfoTempo {
public:
    static constexpr double kTableRate = 44100.0;  // Hz the plug-in's tables assume

    // The LFO of an instance set up for rendering; nothing for other
    // plug-ins.
    static std::optional<LfoTempo> of(PluginInstance& instance);

    // Modulation on (Mod Amt not "off").
    bool running() const { return modulating; }
    // The tempo the Tempo value asks for, in BPM, and the LFO cycle in beats.
    double bpm() const { return askedBpm; }
    unsigned beats() const { return cycleBeats; }
    // The tempo the cycle follows at `rate` Hz.
    double heardBpm(double rate) const { return askedBpm * rate / kTableRate; }
    // The normalized Tempo value with which one cycle lasts `beats()` at
    // `bpm()` at `rate` Hz.
    float trueTempoValue(double rate) const;
    // What the tool knows of the plug-in: its identifier, where its
    // parameters are, and its tempo scale (BPM = 60 + 140 x Tempo).
    static constexpr std::int32_t kFlangerId = 0x517A3776;  // 'Qz7v'
    static constexpr std::int32_t kTempoIndex = 0;
    static constexpr std::int32_t kResolutionIndex = 1;
    static constexpr std::int32_t kModAmountIndex = 4;
    static constexpr double kSlowestBpm = 60.0;
    static constexpr double kBpmSpan = 140.0;

private:
    LfoTempo(double bpm, unsigned beats, bool running) : askedBpm(bpm), cycleBeats(beats), modulating(running) {}

    double askedBpm;
    unsigned cycleBeats;
    bool modulating;
};
