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
// sides; the plug-in gets the chunk in blocks of the host's block size.
class ChunkBuffers {
public:
    ChunkBuffers(int channels, std::int64_t frames, bool clipToFullScale)
        : fileChannels(channels),
          clipToFullScale(clipToFullScale),
          interleaved(static_cast<std::size_t>(frames * channels)),
          inLeft(static_cast<std::size_t>(frames)),
          inRight(static_cast<std::size_t>(frames)),
          outLeft(static_cast<std::size_t>(frames)),
          outRight(static_cast<std::size_t>(frames)) {}

    float* fileFrames() { return interleaved.data(); }

    // Spreads `frames` interleaved frames over both plug-in inputs (mono to
    // both), silence after them up to `total`.
    void split(std::int64_t frames, std::int64_t total) {
        const auto n = static_cast<std::size_t>(frames);
        if (fileChannels == 2) {
            for (std::size_t i = 0; i < n; ++i) {
                inLeft[i] = interleaved[2 * i];
                inRight[i] = interleaved[2 * i + 1];
            }
        } else {
            std::copy_n(interleaved.begin(), n, inLeft.begin());
            std::copy_n(interleaved.begin(), n, inRight.begin());
        }
        std::fill(inLeft.begin() + frames, inLeft.begin() + total, 0.0f);
        std::fill(inRight.begin() + frames, inRight.begin() + total, 0.0f);
    }

    void process(PluginInstance& plugin, std::int64_t frames, std::int32_t block) {
        for (std::int64_t at = 0; at < frames; at += block) {
            float* in[] = {inLeft.data() + at, inRight.data() + at};
            float* out[] = {outLeft.data() + at, outRight.data() + at};
            plugin.processReplacing(in, out, static_cast<std::int32_t>(std::min<std::int64_t>(block, frames - at)));
        }
    }

    // Interleaves the outputs back for the file, keeping count of the peak,
    // of samples beyond full scale and of unequal mono outputs.
    void join(std::int64_t frames, RenderResult& result) {
        const auto n = static_cast<std::size_t>(frames);
        if (fileChannels == 2) {
            for (std::size_t i = 0; i < n; ++i) {
                interleaved[2 * i] = outLeft[i];
                interleaved[2 * i + 1] = outRight[i];
            }
        } else {
            // Both outputs are the same for a mono-capable plug-in fed the same
            // input; otherwise they are mixed down.
            for (std::size_t i = 0; i < n; ++i) {
                float sample = outLeft[i];
                if (sample != outRight[i] && !(std::isnan(sample) && std::isnan(outRight[i]))) {
                    result.unequalMono = true;
                    sample = static_cast<float>((static_cast<double>(sample) + outRight[i]) * 0.5);
                }
                interleaved[i] = sample;
            }
        }
        float peak = result.peak;
        std::uint64_t clipped = 0;
        for (std::size_t i = 0; i < n * static_cast<std::size_t>(fileChannels); ++i) {
            const float magnitude = std::fabs(interleaved[i]);
            peak = std::max(peak, magnitude);
            clipped += magnitude > 1.0f ? 1u : 0u;
        }
        result.peak = peak;
        result.clipped += clipped;
        if (clipToFullScale) {
            // Integer encodings hold -1..1; NaN has no integer and becomes 0.
            for (std::size_t i = 0; i < n * static_cast<std::size_t>(fileChannels); ++i) {
                const float sample = interleaved[i];
                interleaved[i] = sample != sample ? 0.0f : std::clamp(sample, -1.0f, 1.0f);
            }
        }
    }

    // The last frame of the outputs above the silence threshold, or -1.
    std::int64_t lastAudible(std::int64_t frames) const {
        for (std::int64_t i = frames - 1; i >= 0; --i) {
            const auto at = static_cast<std::size_t>(i);
            if (std::fabs(outLeft[at]) >= kSilence || std::fabs(outRight[at]) >= kSilence) return i;
        }
        return -1;
    }

private:
    int fileChannels;
    bool clipToFullScale;
    std::vector<float> interleaved;
    std::vector<float> inLeft, inRight, outLeft, outRight;
};

}  // namespace

RenderResult renderAudio(PluginInstance& plugin, int channels, int sampleRate, const AudioSource& source,
                         AudioWriter& writer, const RenderOptions& options, ProgressLine* progress) {
    const std::int32_t block = options.blockSize;
    // A whole number of blocks per chunk, so the blocks fall where a host
    // reading block by block would put them.
    const std::int64_t chunk = std::max<std::int64_t>(1, kChunkFrames / block) * block;
    ChunkBuffers buffers(channels, chunk, options.integerOutput);
    RenderResult result;
    auto checkCancelled = [&] {
        if (stopsignals::received() != 0) throw processingError(stopsignals::describe());
    };

    plugin.setSampleRate(static_cast<float>(sampleRate));
    plugin.setBlockSize(block);
    plugin.resume();

    for (;;) {
        checkCancelled();
        std::int64_t frames = 0;
        while (frames < chunk) {
            const std::int64_t got = source(buffers.fileFrames() + frames * channels, chunk - frames);
            if (got <= 0) break;
            frames += got;
        }
        if (frames == 0) break;
        buffers.split(frames, frames);
        buffers.process(plugin, frames, block);
        buffers.join(frames, result);
        writer.write(buffers.fileFrames(), frames);
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
