// Measuring the flanger's LFO cycle from the outside. Fed an impulse every
// 100 frames, with feedback off and the delayed copy at full level, each
// 100-frame LFO step shows its delay as the distance from an impulse to its
// copy; the cycle is the shortest period of that sequence of delays.
#pragma once

#include <cstddef>
#include <vector>

namespace lfocycle {

inline constexpr std::size_t kStepFrames = 100;  // the LFO moves the delay every 100 frames
inline constexpr float kImpulse = 0.25f;

// `frames` samples of silence with kImpulse at every step's first frame.
std::vector<float> impulseTrain(std::size_t frames);

// The delay of each step the output of an impulse train shows, from the
// step at frame 100 on: the distance from each impulse to its copy; 0 where
// the two fall together.
std::vector<std::size_t> delays(const std::vector<float>& output);

// The delay one step shows: `step` points at an impulse of the output, with
// at least kStepFrames samples from there.
std::size_t delayAt(const float* step);

// The cycle, in seconds at `sampleRate`, of the output the impulse train
// gave; 0 when no period shows within the output.
double seconds(const std::vector<float>& output, double sampleRate);

}  // namespace lfocycle
