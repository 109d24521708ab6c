// The LV2 edition through lilv, as LV2 hosts load it: the same samples as
// the library of the 1.0 interface given the same normalized values, at
// any block size and in place; control changes as setParameter calls
// between blocks; and with sync on, an LFO cycle of the asked beats at the
// host's tempo and sample rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "loader/plugin_instance.h"
#include "lfo_cycle.h"
#include "lv2_host.h"

namespace {

constexpr const char* kUri = "urn:tempo-flanger:lv2:flanger";

// LV2 control values and the normalized values they stand for, worked out
// by hand: (BPM - 60) / 140, the middle of a zone ((k + 0.5) / 13 for the
// k-th Resolution, (k + 0.5) / 3 for the k-th Waveform) or, in the factory
// value's zone, the factory value, percent / 100, and 10^(dB/20) / 4 for
// Boost.
struct Setting {
    const char* symbol;
    float value;
    std::int32_t parameter;
    float normalized;
};

const std::vector<Setting> kDefaults = {
    {"tempo", 120.0f, 0, 60.0f / 140.0f},  {"resolution", 64.0f, 1, 0.8462f}, {"send", 100.0f, 2, 1.0f},
    {"depth", 25.0f, 3, 0.25f},            {"mod_amount", 25.0f, 4, 0.25f},         {"waveform", 0.0f, 5, 0.0f},
    {"feedback", 50.0f, 6, 0.5f},          {"boost", 0.0f, 7, 0.25f},
};
const std::vector<Setting> kTriangle = {
    {"tempo", 130.0f, 0, 0.5f},   {"resolution", 4.0f, 1, 3.5f / 13.0f}, {"send", 70.0f, 2, 0.7f},
    {"depth", 40.0f, 3, 0.4f},    {"mod_amount", 10.0f, 4, 0.1f},        {"waveform", 1.0f, 5, 0.5f},
    {"feedback", 90.0f, 6, 0.9f}, {"boost", -90.0f, 7, 0.0f},
};
const std::vector<Setting> kFixedDelay = {
    {"tempo", 200.0f, 0, 1.0f},    {"resolution", 1.0f, 1, 0.5f / 13.0f}, {"send", 0.0f, 2, 0.0f},
    {"depth", 60.0f, 3, 0.6f},     {"mod_amount", 0.0f, 4, 0.0f},         {"waveform", 2.0f, 5, 2.5f / 3.0f},
    {"feedback", 100.0f, 6, 1.0f}, {"boost", 12.0412f, 7, 1.0f},
};

std::string bundle() { return LV2_BUNDLE; }

// The library of the 1.0 interface, set up as a host would with the same
// normalized values.
std::unique_ptr<PluginInstance> library(const std::vector<Setting>& settings, float rate) {
    auto plugin = PluginInstance::create(PluginLibrary::open(FLANGER_PLUGIN));
    plugin->open();
    for (const auto& s : settings) plugin->setParameter(s.parameter, s.normalized);
    plugin->setSampleRate(rate);
    plugin->resume();
    return plugin;
}

bool sameBits(const float* a, const float* b, int n) { return std::memcmp(a, b, sizeof(float) * static_cast<std::size_t>(n)) == 0; }

TEST(Lv2Edition, LoadsHasNoLatencyPortAndRendersLikeTheLibrary) {
    const int sizes[] = {1, 2, 3, 7, 64, 100, 333, 512, 4096, 1, 4095};
    for (const auto* settings : {&kDefaults, &kTriangle, &kFixedDelay}) {
        for (bool inPlace : {false, true}) {
            Lv2TestHost host(bundle(), kUri, 44100.0);
            ASSERT_TRUE(host.ok());
            for (const auto& s : *settings) host.control(s.symbol) = s.value;
            auto reference = library(*settings, 44100.0f);
            for (int round = 0; round < 6; ++round) {
                for (int frames : sizes) {
                    const auto left = noise(static_cast<std::size_t>(frames), static_cast<unsigned>(round * 7 + frames));
                    const auto right = noise(static_cast<std::size_t>(frames), static_cast<unsigned>(round * 11 + frames));
                    std::vector<float> l = left, r = right, ol(left.size()), orr(left.size());
                    if (inPlace) {
                        host.run(l.data(), r.data(), l.data(), r.data(), frames);
                    } else {
                        host.run(left.data(), right.data(), ol.data(), orr.data(), frames);
                    }
                    std::vector<float> el(left.size()), er(left.size());
                    float* in[] = {const_cast<float*>(left.data()), const_cast<float*>(right.data())};
                    float* out[] = {el.data(), er.data()};
                    reference->processReplacing(in, out, frames);
                    ASSERT_TRUE(sameBits(inPlace ? l.data() : ol.data(), el.data(), frames) &&
                                sameBits(inPlace ? r.data() : orr.data(), er.data(), frames))
                        << "settings " << settings->front().value << ", round " << round << ", " << frames
                        << " frames" << (inPlace ? ", in place" : "");
                }
            }
            EXPECT_EQ(host.outputControls(), 0) << "the effect has no latency to report";
        }
    }
}

TEST(Lv2Edition, ControlChangesMidStreamAreSetParameterCallsBetweenBlocks) {
    Lv2TestHost host(bundle(), kUri, 48000.0);
    ASSERT_TRUE(host.ok());
    for (const auto& s : kDefaults) host.control(s.symbol) = s.value;
    auto reference = library(kDefaults, 48000.0f);
    const struct {
        int block;  // before this block
        Setting change;
    } changes[] = {
        {3, {"depth", 60.0f, 3, 0.6f}},          {5, {"mod_amount", 0.0f, 4, 0.0f}},
        {6, {"depth", 10.0f, 3, 0.1f}},          {8, {"mod_amount", 40.0f, 4, 0.4f}},
        {9, {"tempo", 130.0f, 0, 0.5f}},         {11, {"waveform", 2.0f, 5, 2.5f / 3.0f}},
        {12, {"resolution", 2.0f, 1, 1.5f / 13.0f}}, {14, {"feedback", 0.0f, 6, 0.0f}},
    };
    for (int block = 0; block < 20; ++block) {
        for (const auto& c : changes) {
            if (c.block != block) continue;
            host.control(c.change.symbol) = c.change.value;
            reference->setParameter(c.change.parameter, c.change.normalized);
        }
        const int frames = 997;
        const auto left = noise(frames, static_cast<unsigned>(block));
        const auto right = noise(frames, static_cast<unsigned>(block + 100));
        std::vector<float> ol(frames), orr(frames), el(frames), er(frames);
        host.run(left.data(), right.data(), ol.data(), orr.data(), frames);
        float* in[] = {const_cast<float*>(left.data()), const_cast<float*>(right.data())};
        float* out[] = {el.data(), er.data()};
        reference->processReplacing(in, out, frames);
        ASSERT_TRUE(sameBits(ol.data(), el.data(), frames) && sameBits(orr.data(), er.data(), frames)) << "block " << block;
    }
}

// The cycle measured from an impulse train (see lfo_cycle.h), with the host
// sending its tempo with every block.
double cycleSecondsWithSync(double rate, double hostBpm, float syncOn, double tempoPort = 120.0) {
    Lv2TestHost host(bundle(), kUri, rate);
    if (!host.ok()) return -1.0;
    host.control("tempo") = static_cast<float>(tempoPort);
    host.control("resolution") = 1.0f;
    host.control("send") = 100.0f;
    host.control("feedback") = 0.0f;
    host.control("sync") = syncOn;
    const int frames = static_cast<int>(rate * 3);
    std::vector<float> in = lfocycle::impulseTrain(static_cast<std::size_t>(frames));
    std::vector<float> out(in.size()), other(in.size());
    for (int at = 0; at < frames; at += 256) {
        const int n = std::min(256, frames - at);
        // Hosts send the position with every block.
        host.run(in.data() + at, in.data() + at, out.data() + at, other.data() + at, n, hostBpm, at == 0 ? 0 : 17);
    }
    return lfocycle::seconds(out, rate);
}

TEST(Lv2Edition, SyncGivesACycleOfTheAskedBeatsAtTheHostsTempoAndRate) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const double step = 100.0 / rate;  // a cycle is a whole number of 100-frame steps
        const double at120 = cycleSecondsWithSync(rate, 120.0, 1.0f);
        const double at150 = cycleSecondsWithSync(rate, 150.0, 1.0f);
        EXPECT_NEAR(at120, 0.5, 2 * step) << rate << " Hz, 120 BPM";
        EXPECT_NEAR(at150, 0.4, 2 * step) << rate << " Hz, 150 BPM";
        std::printf("sync at %.0f Hz: one beat lasts %.4f s at 120 BPM (asked 0.5), %.4f s at 150 BPM (asked 0.4)\n",
                    rate, at120, at150);
        // Sync off: the Tempo control, on the plug-in's own 44.1 kHz time.
        EXPECT_NEAR(cycleSecondsWithSync(rate, 150.0, 0.0f), 0.5 * 44100.0 / rate, 2 * step) << rate << " Hz, off";
        // A tempo that is not above 0, or not finite, is no tempo.
        EXPECT_NEAR(cycleSecondsWithSync(rate, -5.0, 1.0f), 0.5 * 44100.0 / rate, 2 * step) << rate << " Hz, -5";
        EXPECT_NEAR(cycleSecondsWithSync(rate, INFINITY, 1.0f), 0.5 * 44100.0 / rate, 2 * step) << rate << " Hz, inf";
        EXPECT_NEAR(cycleSecondsWithSync(rate, NAN, 1.0f), 0.5 * 44100.0 / rate, 2 * step) << rate << " Hz, NaN";
    }
}

}  // namespace
