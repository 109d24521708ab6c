// What the benchmarks hand a plug-in, as hosts do: channel buffers on pages
// of their own, a pool of stereo noise taken block by block so that every
// block brings fresh input, and the thread's floating-point exception flags
// cleared before a call, as they are when a thread starts.
#pragma once

#include <cstddef>
#include <memory>

namespace hostconditions {

inline constexpr std::size_t kPoolFrames = 4 * 44100;  // seconds of fresh input

// A channel buffer of `frames` samples (zeros), starting on a page of its own.
class Channel {
public:
    explicit Channel(std::size_t frames);
    float* data() const { return samples.get(); }
    std::size_t size() const { return count; }

private:
    struct Free {
        void operator()(float* p) const;
    };
    std::unique_ptr<float, Free> samples;
    std::size_t count;
};

// kPoolFrames frames of stereo noise, -1 to 1, the same on every run.
struct NoisePool {
    NoisePool();
    Channel left, right;
};

// The one pool, made on first use.
const NoisePool& noisePool();

// Clears MXCSR's exception flags (x86; nothing elsewhere).
void clearExceptionFlags();

}  // namespace hostconditions
