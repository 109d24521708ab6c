// The test signals a song carries, by song frame, so that a plug-in in a
// host and a file written here hold the same samples: an impulse every LFO
// step (100 frames), or noise from a hash of the frame.
#pragma once

#include <cstdint>

namespace songsignal {

inline constexpr float kImpulse = 0.25f;
inline constexpr std::int64_t kStepFrames = 100;

inline float impulses(std::int64_t frame) { return frame >= 0 && frame % kStepFrames == 0 ? kImpulse : 0.0f; }

// Uniform in -0.5..0.5, the same for the same frame everywhere.
inline float noise(std::int64_t frame) {
    auto x = static_cast<std::uint64_t>(frame) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<float>(static_cast<double>(x >> 40) / 16777216.0 - 0.5);
}

}  // namespace songsignal
