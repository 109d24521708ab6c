// A built-in stereo test signal with material where a flanger is audible,
// 12 seconds at 44.1 kHz, the same on every run: 4 s of steady noise (where
// the sweep is heard best, as a rising and falling "jet"), 4 s of a
// sustained chord (its harmonics shimmer) and 4 s of a drum-like pulse.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kDemoSampleRate = 44100;
inline constexpr double kDemoSeconds = 12.0;

// Interleaved stereo frames, peaks below -6 dBFS.
std::vector<float> makeDemoSignal();
