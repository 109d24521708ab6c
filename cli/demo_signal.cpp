#include "cli/demo_signal.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPeak = 0.4;   // the flanger's send can double a peak

// Seconds [from, to) of the timeline each part occupies.
constexpr double kNoiseEnd = 4.0;
constexpr double kChordEnd = 8.0;
constexpr double kBeatSeconds = 0.5;  // 120 BPM
constexpr double kFadeSeconds = 0.05;

// Steady noise, faded in and out so that the parts do not click.
double steadyNoise(double t, std::mt19937& random, std::normal_distribution<double>& noise) {
    const double envelope = std::min({1.0, t / kFadeSeconds, (kNoiseEnd - t) / kFadeSeconds});
    return 0.3 * envelope * noise(random);
}

double chord(double t) {
    const double frequencies[] = {220.0, 261.63, 329.63, 440.0};  // A minor with the octave
    const double local = t - kNoiseEnd;
    const double length = kChordEnd - kNoiseEnd;
    const double envelope = std::min(1.0, local / 0.2) * std::min(1.0, (length - local) / 0.5);
    double sum = 0.0;
    for (double f : frequencies) {
        for (int harmonic = 1; harmonic <= 6; ++harmonic) {
            sum += std::sin(2.0 * kPi * f * harmonic * local) / (harmonic * 4.0);
        }
    }
    return envelope * sum * 0.35;
}

double drums(double t, std::mt19937& random, std::normal_distribution<double>& noise) {
    const double local = t - kChordEnd;
    const double inBeat = std::fmod(local, kBeatSeconds);
    // Kick: a falling sine with a fast decay; hat on the off-beat.
    const double kickPhase = 2.0 * kPi * (45.0 * inBeat + 60.0 * (1.0 - std::exp(-inBeat * 30.0)) / 30.0);
    const double kick = std::sin(kickPhase) * std::exp(-inBeat * 9.0);
    const double offBeat = std::fmod(local + kBeatSeconds / 2, kBeatSeconds);
    const double hat = noise(random) * std::exp(-offBeat * 60.0) * 0.25;
    return 0.8 * kick + hat;
}

}  // namespace

std::vector<float> makeDemoSignal() {
    const auto frames = static_cast<std::size_t>(kDemoSeconds * kDemoSampleRate);
    std::vector<float> interleaved(frames * 2);
    std::mt19937 random(20261208);
    std::normal_distribution<double> noise(0.0, 0.5);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kDemoSampleRate;
        double left = 0.0, right = 0.0;
        if (t < kNoiseEnd) {
            left = steadyNoise(t, random, noise);
            right = steadyNoise(t, random, noise);
        } else if (t < kChordEnd) {
            left = right = chord(t);
        } else {
            const double shared = drums(t, random, noise);
            left = shared;
            right = shared * 0.9;
        }
        interleaved[2 * i] = static_cast<float>(std::clamp(left, -1.0, 1.0) * kPeak);
        interleaved[2 * i + 1] = static_cast<float>(std::clamp(right, -1.0, 1.0) * kPeak);
    }
    return interleaved;
}
