#include "lfo_cycle.h"

namespace lfocycle {

std::vector<float> impulseTrain(std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; i += kStepFrames) samples[i] = kImpulse;
    return samples;
}

std::size_t delayAt(const float* step) {
    std::size_t delay = 0;
    if (step[0] < 0.4f) {  // dry and copy apart
        for (std::size_t d = 1; d < kStepFrames; ++d) {
            if (step[d] > 0.1f) delay = d;
        }
    }
    return delay;
}

std::vector<std::size_t> delays(const std::vector<float>& output) {
    std::vector<std::size_t> found;
    for (std::size_t step = 1; (step + 1) * kStepFrames <= output.size(); ++step) {
        found.push_back(delayAt(output.data() + step * kStepFrames));
    }
    return found;
}

double seconds(const std::vector<float>& output, double sampleRate) {
    const std::vector<std::size_t> delays = lfocycle::delays(output);
    for (std::size_t period = 2; period < delays.size() / 2; ++period) {
        bool repeats = true;
        for (std::size_t k = 0; k + period < delays.size() && repeats; ++k) repeats = delays[k] == delays[k + period];
        if (repeats) return static_cast<double>(period * kStepFrames) / sampleRate;
    }
    return 0.0;
}

}  // namespace lfocycle
