// Pushes audio through a plug-in instance exactly as a host does: sample
// rate and block size announced, switched on, fed block by block, switched
// off. Mono material feeds both inputs and is written back as one channel.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "loader/plugin_instance.h"

class AudioWriter;
class ProgressLine;

struct RenderOptions {
    std::int32_t blockSize = 512;  // frames per processing call
    // Seconds of silence fed after the input; none means until the output
    // has decayed below -120 dBFS, at most 10 s.
    std::optional<double> tailSeconds;
    // The output file holds integers: samples are clipped to -1..1.
    bool integerOutput = false;
};

// Interleaved audio to render: fills up to `frames` frames, returns how many
// (0 at the end); a stream may give fewer before its end, and what it gives
// is rendered as soon as it makes whole blocks.
using AudioSource = std::function<std::int64_t(float* interleaved, std::int64_t frames)>;

struct RenderResult {
    std::uint64_t inputFrames = 0;
    std::uint64_t outputFrames = 0;
    float peak = 0.0f;           // largest magnitude written
    std::uint64_t clipped = 0;   // samples beyond full scale
    bool unequalMono = false;    // a mono input gave different left and right outputs
    std::uint64_t nonFiniteInput = 0;   // input samples that were NaN or infinite, fed as silence
    std::uint64_t nonFiniteOutput = 0;  // output samples that were NaN or infinite, written as silence
};

// The instance must be open and set up (program and parameters); this sends
// the sample rate and block size, switches it on, renders, switches it off.
// A stop signal ends the render with a ToolError.
RenderResult renderAudio(PluginInstance& plugin, int channels, int sampleRate, const AudioSource& source,
                         AudioWriter& writer, const RenderOptions& options, ProgressLine* progress);
