// A built-in stereo test signal with material where a flanger is audible:
// noise bursts, a sustained chord and a drum-like pulse, about 8 seconds at
// 44.1 kHz, the same on every run.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kDemoSampleRate = 44100;

// Interleaved stereo frames, peaks below -6 dBFS.
std::vector<float> makeDemoSignal();
