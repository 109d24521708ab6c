// The stereo comb: its single-frame operations behave as two DelayLines,
// and every kernel this machine runs renders spans exactly as the plain
// frame-by-frame kernel does, from every position of the lines, at every
// delay, in place and crossed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/delay_line.h"
#include "dsp/stereo_comb.h"
#include "dsp/subnormal_flush.h"

namespace {

constexpr std::int32_t kLength = 100;

std::vector<const CombKernel*> kernels() { return StereoComb::runnableKernels(); }

std::string kernelName(const ::testing::TestParamInfo<const CombKernel*>& info) { return info.param->name; }

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(StereoComb, SingleFramesBehaveAsTwoDelayLines) {
    StereoComb comb(kLength);
    DelayLine left(kLength), right(kLength);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int n = 0; n < 5000; ++n) {
        if (n % 37 == 0) {
            const std::int32_t delay = std::uniform_int_distribution<std::int32_t>(-3, 120)(random);
            comb.setDelay(delay);
            left.setDelay(delay);
            right.setDelay(delay);
            ASSERT_EQ(comb.delay(), left.delay());
        }
        if (n % 911 == 0) {
            comb.clear();
            left.clear();
            right.clear();
        }
        const StereoFrame peeked = comb.peek();
        ASSERT_EQ(peeked.left, left.peek());
        ASSERT_EQ(peeked.right, right.peek());
        const StereoFrame input{uniform(random), uniform(random)};
        const StereoFrame out = comb.tick(input);
        ASSERT_EQ(out.left, left.tick(input.left)) << n;
        ASSERT_EQ(out.right, right.tick(input.right)) << n;
    }
    EXPECT_EQ(StereoComb(1).length(), 2);
}

class CombKernels : public ::testing::TestWithParam<const CombKernel*> {};

// A ramp in: with no feedback, a send and gain of 1 and the input taken
// back out, each output names the input it came from, d frames earlier.
TEST_P(CombKernels, ARampInNamesTheInputEachOutputCameFrom) {
    const SubnormalFlush flush;
    for (std::int32_t delay = 0; delay < kLength; ++delay) {
        for (std::int32_t phase = 0; phase < 4; ++phase) {
            StereoComb comb(kLength);
            comb.useKernel(*GetParam());
            for (std::int32_t i = 0; i < phase; ++i) comb.tick({0.0f, 0.0f});
            comb.setDelay(delay);
            std::vector<float> in(333), out(333), right(333);
            for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>(i + 1);
            std::int32_t at = 0;
            for (std::int32_t span : {1, 2, 3, 5, 64, 7, 251}) {
                comb.process({in.data() + at, in.data() + at, out.data() + at, right.data() + at, span}, 0.0f, 1.0f,
                             1.0f, false);
                at += span;
            }
            for (std::int32_t i = 0; i < at; ++i) {
                const float expected = i >= delay ? static_cast<float>(i + 1 - delay) : 0.0f;
                ASSERT_EQ(out[static_cast<std::size_t>(i)] - in[static_cast<std::size_t>(i)], expected)
                    << GetParam()->name << ": delay " << delay << ", phase " << phase << ", frame " << i;
            }
            ASSERT_TRUE(sameBits(out, right));
        }
    }
}

// Random spans at every delay, from every position, with every way of
// mixing, in both modes and in place: the same bits as the plain kernel.
TEST_P(CombKernels, EqualThePlainKernelAtEveryDelayFromEveryPosition) {
    const SubnormalFlush flush;
    const float mixes[][3] = {{0.495f, 1.0f, 1.0f}, {0.3f, 0.37f, 1.0f}, {0.98f, 0.6f, 2.5f}, {0.0f, 1.0f, 0.0f}};
    std::mt19937 random(2);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (const auto& mix : mixes) {
        StereoComb tested(kLength), plain(kLength);
        tested.useKernel(*GetParam());
        plain.useKernel(combkernels::plain);
        for (std::int32_t delay = 0; delay < kLength; ++delay) {
            tested.setDelay(delay);
            plain.setDelay(delay);
            for (int round = 0; round < 6; ++round) {
                const auto frames = std::uniform_int_distribution<std::int32_t>(1, 140)(random);
                const auto n = static_cast<std::size_t>(frames);
                const bool accumulate = round % 2 == 1;
                const bool inPlace = round % 3 == 2;
                std::vector<float> l(n), r(n), ol(n), orr(n);
                for (std::size_t i = 0; i < n; ++i) {
                    l[i] = uniform(random);
                    r[i] = uniform(random);
                    ol[i] = uniform(random);
                    orr[i] = uniform(random);
                }
                std::vector<float> l2 = l, r2 = r, ol2 = ol, or2 = orr;
                if (inPlace) {
                    tested.process({l.data(), r.data(), l.data(), r.data(), frames}, mix[0], mix[1], mix[2], accumulate);
                    plain.process({l2.data(), r2.data(), l2.data(), r2.data(), frames}, mix[0], mix[1], mix[2], accumulate);
                } else {
                    tested.process({l.data(), r.data(), ol.data(), orr.data(), frames}, mix[0], mix[1], mix[2], accumulate);
                    plain.process({l2.data(), r2.data(), ol2.data(), or2.data(), frames}, mix[0], mix[1], mix[2], accumulate);
                }
                ASSERT_TRUE(sameBits(l, l2) && sameBits(r, r2) && sameBits(ol, ol2) && sameBits(orr, or2))
                    << GetParam()->name << ": delay " << delay << ", " << frames << " frames, "
                    << (accumulate ? "adding" : "replacing") << (inPlace ? ", in place" : "");
                ASSERT_TRUE(tested.peek().left == plain.peek().left && tested.peek().right == plain.peek().right);
            }
        }
    }
}

// Arrays that overlap in part, and the left output that is the right input.
TEST_P(CombKernels, OverlappingAndCrossedArraysAsFramesOneByOne) {
    const SubnormalFlush flush;
    StereoComb tested(kLength), plain(kLength);
    tested.useKernel(*GetParam());
    plain.useKernel(combkernels::plain);
    tested.setDelay(9);
    plain.setDelay(9);
    std::vector<float> a(300), b(300);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = std::sin(static_cast<float>(i));
    b = a;
    tested.process({a.data(), a.data() + 100, a.data() + 1, a.data() + 100, 150}, 0.5f, 0.7f, 1.0f, false);
    plain.process({b.data(), b.data() + 100, b.data() + 1, b.data() + 100, 150}, 0.5f, 0.7f, 1.0f, false);
    EXPECT_TRUE(sameBits(a, b));
}

INSTANTIATE_TEST_SUITE_P(Runnable, CombKernels, ::testing::ValuesIn(kernels()), kernelName);

}  // namespace
