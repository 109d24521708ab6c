// Proof that a render has the same bits on every build (x86-64, 32-bit x86,
// Windows, ARM64): FNV-1a over the bytes of its samples, against a constant
// in the test. So that a mismatch says where, a table beside the tests
// (tests/reference/NAME.fingerprints) holds a fingerprint of every block of
// kBlockFrames frames of every channel: the report names the first block and
// channel that differ.
//
// With TF_WRITE_FINGERPRINTS=1 in the environment, a missing or different
// table is written instead (after a change meant to change the bits).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fingerprint {

inline constexpr std::size_t kBlockFrames = 1024;

// FNV-1a over the bytes of `count` samples (each little-end first).
std::uint64_t of(const float* samples, std::size_t count, std::uint64_t hash = 14695981039346656037ull);

// A render as its channels; the whole fingerprint takes them one after the
// other, or frame by frame (interleaved, as a file holds them).
struct Render {
    std::vector<std::vector<float>> channels;
    bool interleaved = false;
};
// The render of an interleaved buffer of `channels` channels.
Render fromInterleaved(const std::vector<float>& samples, int channels);

// Success when the render's fingerprint is `expected`; otherwise, where the
// first block that differs from the table `name` lies.
::testing::AssertionResult matches(const Render& render, std::uint64_t expected, const std::string& name);

}  // namespace fingerprint
