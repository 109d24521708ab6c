// The block loop against the frame-by-frame reference: two instances get the
// same seeded session (parameter and program changes, switching off and on,
// odd block sizes, both processing modes, in place and not), one processed
// by the plug-in, the other by the reference loop; every sample must match.
// Each test runs with every comb kernel this machine runs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "flanger/tempo_flanger.h"
#include "probes.h"

namespace {

constexpr std::size_t kMaxBlock = 3000;

class Session {
public:
    explicit Session(unsigned seed) : random(seed) {}

    // One random event, applied to both instances alike.
    void control(TempoFlanger& a, TempoFlanger& b) {
        const int what = std::uniform_int_distribution<int>(0, 19)(random);
        if (what < 12) {
            const auto index = std::uniform_int_distribution<std::int32_t>(0, 7)(random);
            float value = std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
            if (what == 0) value = 0.0f;  // modulation off now and then
            if (what == 1) value = std::uniform_real_distribution<float>(-0.5f, 1.5f)(random);
            a.setParameter(index, value);
            b.setParameter(index, value);
        } else if (what < 14) {
            const auto program = std::uniform_int_distribution<std::int32_t>(0, 15)(random);
            a.setProgram(program);
            b.setProgram(program);
        } else if (what == 14) {
            a.suspend();
            b.suspend();
        } else if (what == 15) {
            a.resume();
            b.resume();
        }
    }

    std::int32_t blockSize() {
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        if (kind == 0) return std::uniform_int_distribution<std::int32_t>(-3, 2)(random);
        if (kind < 4) return std::uniform_int_distribution<std::int32_t>(1, 130)(random);
        return std::uniform_int_distribution<std::int32_t>(1, static_cast<std::int32_t>(kMaxBlock))(random);
    }

    void fill(std::vector<float>& samples) {
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        const bool quiet = std::uniform_int_distribution<int>(0, 5)(random) == 0;
        for (float& s : samples) s = quiet ? 0.0f : uniform(random);
    }

    int pick(int choices) { return std::uniform_int_distribution<int>(0, choices - 1)(random); }

private:
    std::mt19937 random;
};

// The same bits, sample for sample; NaNs (values out of range can make them)
// count as equal whatever their payload.
bool sameBits(const std::vector<float>& a, const std::vector<float>& b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0 && !(std::isnan(a[i]) && std::isnan(b[i]))) return false;
    }
    return true;
}

void runSession(const CombKernel& kernel, unsigned seed, int blocks) {
    TempoFlanger plugin(nullptr);
    TempoFlanger reference(nullptr);
    TempoFlangerProbe(plugin).useKernel(kernel);
    TempoFlangerProbe referenceLoop(reference);
    plugin.resume();
    reference.resume();
    Session session(seed);
    std::vector<float> inL(kMaxBlock), inR(kMaxBlock);
    std::vector<float> outL(kMaxBlock), outR(kMaxBlock), refL(kMaxBlock), refR(kMaxBlock);
    for (int block = 0; block < blocks; ++block) {
        for (int events = session.pick(3); events > 0; --events) session.control(plugin, reference);
        const std::int32_t frames = session.blockSize();
        const auto n = static_cast<std::size_t>(std::max(frames, 0));
        session.fill(inL);
        session.fill(inR);
        session.fill(outL);
        // Copied element by element: the buffers keep their size.
        std::copy(outL.begin(), outL.end(), outR.begin());
        std::copy(outL.begin(), outL.end(), refL.begin());
        std::copy(outL.begin(), outL.end(), refR.begin());
        const bool accumulate = session.pick(2) == 0;
        const int layout = session.pick(3);  // separate, in place, outputs sharing nothing but crossed
        float* refIn[] = {inL.data(), inR.data()};
        float* refOut[] = {refL.data(), refR.data()};
        std::vector<float> ioL = inL, ioR = inR;
        if (layout == 1) {
            // In place: the reference works on its own copies of the arrays.
            std::vector<float> refIoL = inL, refIoR = inR;
            float* refChannels[] = {refIoL.data(), refIoR.data()};
            referenceLoop.plainProcess(refChannels, refChannels, frames, accumulate);
            float* channels[] = {ioL.data(), ioR.data()};
            accumulate ? plugin.process(channels, channels, frames) : plugin.processReplacing(channels, channels, frames);
            ASSERT_TRUE(sameBits(ioL, refIoL, n) && sameBits(ioR, refIoR, n))
                << "seed " << seed << " block " << block << " in place, " << frames << " frames";
            continue;
        }
        float* in[] = {inL.data(), inR.data()};
        float* out[] = {outL.data(), outR.data()};
        if (layout == 2) {
            // The left output is the right input: frame by frame order decides.
            out[0] = ioR.data();
            in[1] = ioR.data();
            std::vector<float> refShared = inR;
            refIn[1] = refShared.data();
            refOut[0] = refShared.data();
            referenceLoop.plainProcess(refIn, refOut, frames, accumulate);
            accumulate ? plugin.process(in, out, frames) : plugin.processReplacing(in, out, frames);
            ASSERT_TRUE(sameBits(ioR, refShared, n) && sameBits(outR, refR, n))
                << "seed " << seed << " block " << block << " crossed, " << frames << " frames";
            continue;
        }
        referenceLoop.plainProcess(refIn, refOut, frames, accumulate);
        accumulate ? plugin.process(in, out, frames) : plugin.processReplacing(in, out, frames);
        ASSERT_TRUE(sameBits(outL, refL, n) && sameBits(outR, refR, n))
            << "seed " << seed << " block " << block << ", " << frames << " frames";
    }
}

class BlockLoop : public ::testing::TestWithParam<const CombKernel*> {};

TEST_P(BlockLoop, SeededSessionsMatchTheFrameByFrameLoop) {
    for (unsigned seed = 1; seed <= 12; ++seed) runSession(*GetParam(), seed, 300);
}

// Two instances set alike; each block goes through one by the plug-in's
// loop and through the other by the reference.
class Twins {
public:
    explicit Twins(const CombKernel& kernel) : referenceLoop(reference), random(7) {
        TempoFlangerProbe(plugin).useKernel(kernel);
        plugin.resume();
        reference.resume();
    }
    void set(std::int32_t index, float value) {
        plugin.setParameter(index, value);
        reference.setParameter(index, value);
    }
    // One block of noise; false (with a note) where any sample differs.
    ::testing::AssertionResult block(std::int32_t frames, bool accumulate) {
        const auto n = static_cast<std::size_t>(frames);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        std::vector<float> inL(n), inR(n), outL(n), outR(n);
        for (std::size_t i = 0; i < n; ++i) {
            inL[i] = uniform(random);
            inR[i] = uniform(random);
            outL[i] = uniform(random);
            outR[i] = uniform(random);
        }
        std::vector<float> refL = outL, refR = outR;
        float* in[] = {inL.data(), inR.data()};
        float* out[] = {outL.data(), outR.data()};
        float* refOut[] = {refL.data(), refR.data()};
        referenceLoop.plainProcess(in, refOut, frames, accumulate);
        accumulate ? plugin.process(in, out, frames) : plugin.processReplacing(in, out, frames);
        if (sameBits(outL, refL, n) && sameBits(outR, refR, n)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << frames << " frames, " << (accumulate ? "adding" : "replacing")
                                             << ", delay " << TempoFlangerProbe(plugin).comb().delay();
    }

private:
    TempoFlanger plugin{nullptr};
    TempoFlanger reference{nullptr};
    TempoFlangerProbe referenceLoop;
    std::mt19937 random;
};

// Without modulation Depth sets the delay: every delay of the line, starting
// at every position modulo 4, with every way of mixing (send and gain of 1 or
// not), in both modes.
TEST_P(BlockLoop, EveryDelayFromEveryPositionWithEveryMix) {
    const float mixes[][2] = {{1.0f, 0.25f}, {0.3f, 0.25f}, {0.3f, 0.7f}, {1.0f, 0.0f}};  // Send, 12 dB Boost
    for (const auto& mix : mixes) {
        Twins twins(*GetParam());
        twins.set(kParamModAmount, 0.0f);
        twins.set(kParamSend, mix[0]);
        twins.set(kParamBoost, mix[1]);
        for (std::int32_t delay = 0; delay < 100; ++delay) {
            twins.set(kParamDepth, (static_cast<float>(delay) + 0.5f) / 100.0f);
            for (std::int32_t shift = 1; shift <= 4; ++shift) {
                ASSERT_TRUE(twins.block(shift, false));
                ASSERT_TRUE(twins.block(64, false));
                ASSERT_TRUE(twins.block(37, true));
                ASSERT_TRUE(twins.block(230, shift % 2 == 0));
            }
        }
    }
}

// A fast LFO over short delays: steps that change the delay fall at every
// position modulo 4 of the lines, and the sweep passes through delay 0, the
// delays 1 to 3 that are taken frame by frame, and the longer ones.
TEST_P(BlockLoop, FastSweepsOverShortDelaysWithStepsAtEveryPosition) {
    for (float waveform : {0.0f, 0.5f, 1.0f}) {
        for (std::int32_t shift = 0; shift < 4; ++shift) {
            Twins twins(*GetParam());
            twins.set(kParamTempo, 1.0f);       // 200 BPM
            twins.set(kParamResolution, 0.0f);  // one beat per cycle: 132 steps
            twins.set(kParamWaveform, waveform);
            twins.set(kParamModAmount, 0.0f);
            twins.set(kParamDepth, 0.04f);
            if (shift > 0) {
                ASSERT_TRUE(twins.block(shift, false));  // the lines move on, the LFO counter stands still
            }
            twins.set(kParamModAmount, 0.12f);
            twins.set(kParamDepth, 0.04f);
            for (std::int32_t block = 0; block < 120; ++block) {
                ASSERT_TRUE(twins.block(1 + (block * 37) % 300, block % 3 == 0)) << "block " << block;
            }
        }
    }
}

TEST_P(BlockLoop, FeedbackDecayFlushesToZero) {
    TempoFlanger plugin(nullptr);
    TempoFlangerProbe(plugin).useKernel(*GetParam());
    plugin.setParameter(kParamFeedback, 1.0f);
    plugin.resume();
    std::vector<float> burst(4096, 0.9f), silence(4096, 0.0f), outL(4096), outR(4096);
    float* out[] = {outL.data(), outR.data()};
    float* loud[] = {burst.data(), burst.data()};
    float* quiet[] = {silence.data(), silence.data()};
    plugin.processReplacing(loud, out, 4096);
    std::size_t subnormal = 0, nonZero = 0;
    for (int block = 0; block < 400; ++block) {
        plugin.processReplacing(quiet, out, 4096);
        for (float s : outL) {
            subnormal += std::fpclassify(s) == FP_SUBNORMAL ? 1 : 0;
            nonZero += s != 0.0f ? 1 : 0;
        }
    }
    EXPECT_EQ(subnormal, 0u);
    EXPECT_GT(nonZero, 0u);
    EXPECT_EQ(outL.back(), 0.0f);  // decayed all the way to zero, not stuck
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, BlockLoop, ::testing::ValuesIn(StereoComb::runnableKernels()),
                         [](const ::testing::TestParamInfo<const CombKernel*>& info) { return info.param->name; });

}  // namespace
