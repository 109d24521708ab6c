#include "cli/renderer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cli/audio_file.h"
#include "cli/progress.h"
#include "cli/tool_error.h"

namespace {

constexpr float kSilence = 1.0e-6f;             // -120 dBFS
constexpr double kMaxAutomaticTail = 10.0;      // seconds
constexpr std::int64_t kSilentRunToStop = 4096;  // frames below kSilence that end an automatic tail

// Planar buffers for one block and the interleaving on both sides.
class BlockBuffers {
public:
    BlockBuffers(int channels, std::int32_t frames)
        : fileChannels(channels),
          interleaved(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels)),
          inLeft(static_cast<std::size_t>(frames)),
          inRight(static_cast<std::size_t>(frames)),
          outLeft(static_cast<std::size_t>(frames)),
          outRight(static_cast<std::size_t>(frames)) {}

    float* fileFrames() { return interleaved.data(); }

    // Spreads `frames` interleaved frames over both plug-in inputs (mono to
    // both), silence after them up to `total`.
    void split(std::int64_t frames, std::int64_t total) {
        for (std::int64_t i = 0; i < total; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (i < frames) {
                inLeft[at] = interleaved[at * static_cast<std::size_t>(fileChannels)];
                inRight[at] = fileChannels == 2 ? interleaved[at * 2 + 1] : inLeft[at];
            } else {
                inLeft[at] = inRight[at] = 0.0f;
            }
        }
    }

    void process(PluginInstance& plugin, std::int64_t frames) {
        float* in[] = {inLeft.data(), inRight.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        plugin.processReplacing(in, out, static_cast<std::int32_t>(frames));
    }

    // Interleaves the outputs back for the file, keeping count of the peak,
    // of samples beyond full scale and of unequal mono outputs.
    void join(std::int64_t frames, RenderResult& result) {
        for (std::int64_t i = 0; i < frames; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (fileChannels == 2) {
                interleaved[at * 2] = outLeft[at];
                interleaved[at * 2 + 1] = outRight[at];
                note(outLeft[at], result);
                note(outRight[at], result);
            } else {
                // Both outputs are the same for a mono-capable plug-in fed the
                // same input; otherwise they are mixed down.
                float sample = outLeft[at];
                if (outLeft[at] != outRight[at] && !(std::isnan(outLeft[at]) && std::isnan(outRight[at]))) {
                    result.unequalMono = true;
                    sample = static_cast<float>((static_cast<double>(outLeft[at]) + outRight[at]) * 0.5);
                }
                interleaved[at] = sample;
                note(sample, result);
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
    static void note(float sample, RenderResult& result) {
        const float magnitude = std::fabs(sample);
        if (magnitude > result.peak) result.peak = magnitude;
        if (magnitude > 1.0f) ++result.clipped;
    }

    int fileChannels;
    std::vector<float> interleaved;
    std::vector<float> inLeft, inRight, outLeft, outRight;
};

}  // namespace

RenderResult renderAudio(PluginInstance& plugin, int channels, int sampleRate, const AudioSource& source,
                         AudioWriter& writer, const RenderOptions& options, ProgressLine* progress,
                         const std::atomic<bool>* cancelled) {
    const std::int32_t block = options.blockSize;
    BlockBuffers buffers(channels, block);
    RenderResult result;
    auto checkCancelled = [&] {
        if (cancelled != nullptr && cancelled->load()) throw processingError("interrupted");
    };

    plugin.setSampleRate(static_cast<float>(sampleRate));
    plugin.setBlockSize(block);
    plugin.resume();

    for (;;) {
        checkCancelled();
        const std::int64_t frames = source(buffers.fileFrames(), block);
        if (frames <= 0) break;
        buffers.split(frames, frames);
        buffers.process(plugin, frames);
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
        const std::int64_t frames = std::min<std::int64_t>(block, tailFrames - done);
        buffers.split(0, frames);
        buffers.process(plugin, frames);
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
