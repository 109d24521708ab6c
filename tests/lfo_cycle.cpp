#include "lfo_cycle.h"

namespace lfocycle {

std::vector<float> impulseTrain(std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; i += kStepFrames) samples[i] = kImpulse;
    return samples;
}

double seconds(const std::vector<float>& output, double sampleRate) {
    std::vector<std::size_t> delays;
    for (std::size_t step = 1; (step + 1) * kStepFrames <= output.size(); ++step) {
        std::size_t delay = 0;
        if (output[step * kStepFrames] < 0.4f) {  // dry and copy apart
            for (std::size_t d = 1; d < kStepFrames; ++d) {
                if (output[step * kStepFrames + d] > 0.1f) delay = d;
            }
        }
        delays.push_back(delay);
    }
    for (std::size_t period = 2; period < delays.size() / 2; ++period) {
        bool repeats = true;
        for (std::size_t k = 0; k + period < delays.size() && repeats; ++k) repeats = delays[k] == delays[k + period];
        if (repeats) return static_cast<double>(period * kStepFrames) / sampleRate;
    }
    return 0.0;
}

}  // namespace lfocycle
