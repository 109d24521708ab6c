#include "cli/renderer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cli/audio_file.h"
#include "cli/progress.h"
#include "cli/stop_signals.h"
#include "cli/tool_error.h"

namespace {

constexpr float kSilence = 1.0e-6f;             // -120 dBFS
constexpr double kMaxAutomaticTail = 10.0;      // seconds
constexpr std::int64_t kSilentRunToStop = 4096;  // frames below kSilence that end an automatic tail

constexpr std::int64_t kChunkFrames = 16384;    // frames read and written at a time

// Planar buffers for one chunk of the file and the interleaving on both
// sides; the plug-in gets the chunk in blocks of the host's block size. The
// file feeds the plug-in's first inputs (mono to the first two, as a
// mono-capable plug-in expects), the others are silent; its first outputs
// are written back.
class ChunkBuffers {
public:
    ChunkBuffers(int fileChannels, std::int32_t pluginInputs, std::int32_t pluginOutputs, std::int64_t frames,
                 bool clipToFullScale)
        : fileChannels(fileChannels),
          clipToFullScale(clipToFullScale),
          interleaved(static_cast<std::size_t>(frames * fileChannels)),
          inputs(static_cast<std::size_t>(std::max(pluginInputs, 0)), std::vector<float>(static_cast<std::size_t>(frames))),
          outputs(static_cast<std::size_t>(std::max(pluginOutputs, 0)), std::vector<float>(static_cast<std::size_t>(frames))) {}

    float* fileFrames() { return interleaved.data(); }

    // Input samples that are not finite numbers become silence; returns how
    // many there were in the first `frames` frames.
    std::uint64_t silenceNonFinite(std::int64_t frames) {
        std::uint64_t found = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(frames * fileChannels); ++i) {
            if (!std::isfinite(interleaved[i])) {
                interleaved[i] = 0.0f;
                ++found;
            }
        }
        return found;
    }

    // Moves frames [from, from + count) to the start.
    void keep(std::int64_t from, std::int64_t count) {
        std::copy_n(interleaved.begin() + from * fileChannels, count * fileChannels, interleaved.begin());
    }

    // Spreads `frames` interleaved frames over the plug-in's inputs,
    // silence after them up to `total`.
    void split(std::int64_t frames, std::int64_t total) {
        const auto n = static_cast<std::size_t>(frames);
        for (std::size_t c = 0; c < inputs.size(); ++c) {
            std::vector<float>& channel = inputs[c];
            const bool fed = c < 2 && (fileChannels == 1 || c < static_cast<std::size_t>(fileChannels));
            if (fed && fileChannels == 2 && inputs.size() == 1) {
                // One input for a stereo file: their mix.
                for (std::size_t i = 0; i < n; ++i) {
                    channel[i] = static_cast<float>((static_cast<double>(interleaved[2 * i]) + interleaved[2 * i + 1]) * 0.5);
                }
            } else if (fed) {
                const std::size_t from = fileChannels == 1 ? 0 : c;
                for (std::size_t i = 0; i < n; ++i) channel[i] = interleaved[static_cast<std::size_t>(fileChannels) * i + from];
            } else {
                std::fill(channel.begin(), channel.begin() + frames, 0.0f);
            }
            std::fill(channel.begin() + frames, channel.begin() + total, 0.0f);
        }
    }

    void process(PluginInstance& plugin, std::int64_t frames, std::int32_t block) {
        const bool replacing = plugin.replaces();
        std::vector<float*> in(inputs.size()), out(outputs.size());
        for (std::int64_t at = 0; at < frames; at += block) {
            const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(block, frames - at));
            for (std::size_t c = 0; c < inputs.size(); ++c) in[c] = inputs[c].data() + at;
            for (std::size_t c = 0; c < outputs.size(); ++c) out[c] = outputs[c].data() + at;
            if (replacing) {
                plugin.processReplacing(in.data(), out.data(), n);
            } else {
                for (float* channel : out) std::fill_n(channel, n, 0.0f);
                plugin.process(in.data(), out.data(), n);
            }
        }
    }

    // Interleaves the outputs back for the file, keeping count of the peak,
    // of samples beyond full scale and of unequal mono outputs.
    void join(std::int64_t frames, RenderResult& result) {
        const auto n = static_cast<std::size_t>(frames);
        const std::vector<float> silence(outputs.empty() ? n : 0, 0.0f);
        auto output = [&](std::size_t c) -> const std::vector<float>& {
            if (outputs.empty()) return silence;
            return outputs[std::min(c, outputs.size() - 1)];
        };
        if (fileChannels == 2) {
            for (std::size_t i = 0; i < n; ++i) {
                interleaved[2 * i] = output(0)[i];
                interleaved[2 * i + 1] = output(1)[i];
            }
        } else {
            // Both outputs are the same for a mono-capable plug-in fed the same
            // input; otherwise they are mixed down.
            const auto& left = output(0);
            const auto& right = output(1);
            for (std::size_t i = 0; i < n; ++i) {
                float sample = left[i];
                if (sample != right[i] && !(std::isnan(sample) && std::isnan(right[i]))) {
                    result.unequalMono = true;
                    sample = static_cast<float>((static_cast<double>(sample) + right[i]) * 0.5);
                }
                interleaved[i] = sample;
            }
        }
        float peak = result.peak;
        std::uint64_t clipped = 0;
        std::uint64_t nonFinite = 0;
        for (std::size_t i = 0; i < n * static_cast<std::size_t>(fileChannels); ++i) {
            // A plug-in's NaN or infinity is written as silence, and counted.
            if (!std::isfinite(interleaved[i])) {
                interleaved[i] = 0.0f;
                ++nonFinite;
            }
            const float magnitude = std::fabs(interleaved[i]);
            peak = std::max(peak, magnitude);
            clipped += magnitude > 1.0f ? 1u : 0u;
        }
        result.peak = peak;
        result.clipped += clipped;
        result.nonFiniteOutput += nonFinite;
        if (clipToFullScale) {
            // Integer encodings hold -1..1.
            for (std::size_t i = 0; i < n * static_cast<std::size_t>(fileChannels); ++i) {
                interleaved[i] = std::clamp(interleaved[i], -1.0f, 1.0f);
            }
        }
    }

    // The last frame of the written outputs above the silence threshold, or -1.
    std::int64_t lastAudible(std::int64_t frames) const {
        for (std::int64_t i = frames - 1; i >= 0; --i) {
            const auto at = static_cast<std::size_t>(i);
            for (std::size_t c = 0; c < std::min<std::size_t>(outputs.size(), 2); ++c) {
                if (std::fabs(outputs[c][at]) >= kSilence) return i;
            }
        }
        return -1;
    }

private:
    int fileChannels;
    bool clipToFullScale;
    std::vector<float> interleaved;
    std::vector<std::vector<float>> inputs, outputs;
};

}  // namespace

RenderResult renderAudio(PluginInstance& plugin, int channels, int sampleRate, const AudioSource& source,
                         AudioWriter& writer, const RenderOptions& options, ProgressLine* progress) {
    const std::int32_t block = options.blockSize;
    // A whole number of blocks per chunk, so the blocks fall where a host
    // reading block by block would put them.
    const std::int64_t chunk = std::max<std::int64_t>(1, kChunkFrames / block) * block;
    ChunkBuffers buffers(channels, plugin.record()->numInputs, plugin.record()->numOutputs, chunk, options.integerOutput);
    RenderResult result;
    auto checkCancelled = [&] {
        if (stopsignals::received() != 0) throw processingError(stopsignals::describe());
    };

    plugin.setSampleRate(static_cast<float>(sampleRate));
    plugin.setBlockSize(block);
    plugin.resume();

    // Frames go on to the plug-in as soon as they make whole blocks (a file
    // reads a chunk at a time, a stream what has come); at the end, the rest.
    std::int64_t waiting = 0;
    for (bool ended = false; !ended;) {
        checkCancelled();
        const std::int64_t got = source(buffers.fileFrames() + waiting * channels, chunk - waiting);
        ended = got <= 0;
        if (!ended) waiting += got;
        const std::int64_t frames = ended ? waiting : waiting / block * block;
        if (frames == 0) continue;
        result.nonFiniteInput += buffers.silenceNonFinite(frames);
        buffers.split(frames, frames);
        buffers.process(plugin, frames, block);
        buffers.join(frames, result);
        writer.write(buffers.fileFrames(), frames);
        buffers.keep(frames, waiting - frames);
        waiting -= frames;
        result.inputFrames += static_cast<std::uint64_t>(frames);
        if (progress != nullptr) progress->advance(static_cast<std::uint64_t>(frames));
    }

    // The tail: silence in, the feedback ringing out. An automatic tail is
    // held back until it is known to be audible, so trailing silence is cut.
    const bool automatic = !options.tailSeconds.has_value();
    const double tailSeconds = automatic ? kMaxAutomaticTail : std::max(0.0, *options.tailSeconds);
    const auto tailFrames = static_cast<std::int64_t>(std::llround(tailSeconds * sampleRate));
    std::vector<float> heldBack;
    std::int64_t silentRun = 0;
    for (std::int64_t done = 0; done < tailFrames;) {
        checkCancelled();
        const std::int64_t frames = std::min<std::int64_t>(chunk, tailFrames - done);
        buffers.split(0, frames);
        buffers.process(plugin, frames, block);
        buffers.join(frames, result);
        done += frames;
        if (!automatic) {
            writer.write(buffers.fileFrames(), frames);
            result.outputFrames += static_cast<std::uint64_t>(frames);
            continue;
        }
        const std::int64_t audible = buffers.lastAudible(frames);
        const float* data = buffers.fileFrames();
        heldBack.insert(heldBack.end(), data, data + frames * channels);
        if (audible >= 0) {
            const std::int64_t keep = static_cast<std::int64_t>(heldBack.size()) / channels - (frames - audible - 1);
            writer.write(heldBack.data(), keep);
            result.outputFrames += static_cast<std::uint64_t>(keep);
            heldBack.erase(heldBack.begin(), heldBack.begin() + keep * channels);
            silentRun = frames - audible - 1;
        } else {
            silentRun += frames;
        }
        if (silentRun >= kSilentRunToStop) break;
    }
    plugin.suspend();
    result.outputFrames += result.inputFrames;
    return result;
}
