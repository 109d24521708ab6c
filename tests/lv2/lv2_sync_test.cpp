// The LV2 edition against a host's song, through lilv: time:Position events
// as Ardour sends them (frame, bar, barBeat as a float, beatsPerBar, tempo
// and speed at the start of every block while the transport rolls, speed 0
// while it stands still). With sync on the sweep must lock to the host's
// beat; with sync off a render from the song's start must equal the
// library's. Also activation, defaults and settings made at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "lfo_cycle.h"
#include "loader/plugin_instance.h"
#include "lv2_host.h"

namespace {

constexpr const char* kUri = "urn:tempo-flanger:lv2:flanger";
constexpr double kRate = 44100.0;
constexpr std::int64_t kStep = 100;  // frames per LFO step

std::string bundle() { return LV2_BUNDLE; }

// A host's tempo over its song: steady, or a linear ramp over a span of
// frames, then steady.
struct SongTempo {
    double startBpm;
    double endBpm;
    double rampFrames = 0.0;

    double bpmAt(double frame) const {
        if (frame >= rampFrames) return endBpm;
        return startBpm + (endBpm - startBpm) * frame / rampFrames;
    }
    // Beats from the song's start: the tempo's integral.
    double beatAt(double frame) const {
        const double perFrame = 1.0 / 60.0 / kRate;
        const double ramped = std::clamp(frame, 0.0, rampFrames);
        double beats = startBpm * ramped * perFrame;
        if (rampFrames > 0.0) beats += 0.5 * (endBpm - startBpm) * ramped * ramped / rampFrames * perFrame;
        return beats + endBpm * (frame - ramped) * perFrame;
    }
    double framesPerBeat(double bpm) const { return kRate * 60.0 / bpm; }
};

// What a song segment gave: the left output from song frame `from`.
struct Played {
    std::int64_t from = 0;
    std::vector<float> left;

    // The delay the step at `songFrame` (a multiple of 100) shows, for an
    // impulse-train input.
    std::size_t delayAtStep(std::int64_t songFrame) const {
        return lfocycle::delayAt(left.data() + (songFrame - from));
    }
};

// Input by song frame, so that two runs of the same bars hear the same.
using SongInput = std::function<float(std::int64_t songFrame)>;

float impulses(std::int64_t frame) { return frame % kStep == 0 ? lfocycle::kImpulse : 0.0f; }

// Plays song frames [from, to) through `host` in blocks of `block`, a
// position at the start of each block, as a rolling transport sends them.
Played play(Lv2TestHost& host, const SongTempo& tempo, std::int64_t from, std::int64_t to, int block,
            const SongInput& input = impulses, bool ticks = false) {
    Played played;
    played.from = from;
    played.left.resize(static_cast<std::size_t>(to - from));
    std::vector<float> in(static_cast<std::size_t>(block)), right(in.size());
    for (std::int64_t at = from; at < to; at += block) {
        const int n = static_cast<int>(std::min<std::int64_t>(block, to - at));
        for (int i = 0; i < n; ++i) in[static_cast<std::size_t>(i)] = input(at + i);
        HostPosition position;
        position.bpm = tempo.bpmAt(static_cast<double>(at));
        position.song = true;
        position.frame = at;
        position.beat = tempo.beatAt(static_cast<double>(at));
        position.ticks = ticks;
        host.run(in.data(), in.data(), played.left.data() + (at - from), right.data(), n, &position);
    }
    return played;
}

// `blocks` blocks of silence with the transport standing still at `frame`.
void standStill(Lv2TestHost& host, double bpm, std::int64_t frame, int blocks, int block = 1024) {
    std::vector<float> silence(static_cast<std::size_t>(block)), out(silence.size()), other(silence.size());
    for (int b = 0; b < blocks; ++b) {
        HostPosition position;
        position.bpm = bpm;
        position.speed = 0.0f;
        position.song = true;
        position.frame = frame;
        position.beat = static_cast<double>(frame) / kRate * bpm / 60.0;
        host.run(silence.data(), silence.data(), out.data(), other.data(), block, &position);
    }
}

// Sync on, a sawtooth over the whole line, no feedback and the delayed
// copy at full level: each cycle starts with a drop of the delay to 0,
// which an impulse train shows.
void sawtoothProbe(Lv2TestHost& host, float beats) {
    host.control("sync") = 1.0f;
    host.control("resolution") = beats;
    host.control("waveform") = 2.0f;
    host.control("mod_amount") = 100.0f;
    host.control("feedback") = 0.0f;
    host.control("send") = 100.0f;
}

// Song frames of the steps at which the sawtooth drops (a cycle starts).
std::vector<std::int64_t> drops(const Played& played) {
    std::vector<std::int64_t> found;
    std::size_t before = 0;
    const std::int64_t first = (played.from + kStep - 1) / kStep * kStep;
    const auto end = played.from + static_cast<std::int64_t>(played.left.size()) - kStep;
    for (std::int64_t frame = first; frame < end; frame += kStep) {
        const std::size_t delay = played.delayAtStep(frame);
        if (frame > first && delay + 50 < before) found.push_back(frame);
        before = delay;
    }
    return found;
}

TEST(Lv2Sync, EachCycleStartsOnItsBeatForTenMinutes) {
    const std::int64_t tenMinutes = static_cast<std::int64_t>(600 * kRate);
    for (double bpm : {90.0, 128.0, 140.0}) {
        for (float beats : {1.0f, 4.0f}) {
            Lv2TestHost host(bundle(), kUri, kRate);
            ASSERT_TRUE(host.ok());
            sawtoothProbe(host, beats);
            const SongTempo tempo{bpm, bpm};
            const double cycleFrames = tempo.framesPerBeat(bpm) * beats;
            const auto cycles = static_cast<std::int64_t>(std::ceil(static_cast<double>(tenMinutes) / cycleFrames));
            const Played played =
                play(host, tempo, 0, static_cast<std::int64_t>(static_cast<double>(cycles) * cycleFrames) + 2000, 4096);
            const std::vector<std::int64_t> starts = drops(played);
            ASSERT_EQ(static_cast<std::int64_t>(starts.size()), cycles) << bpm << " BPM, " << beats << " beats";
            // Cycle n starts at the first step at or after beat n x beats.
            double worst = 0.0;
            for (std::size_t n = 0; n < starts.size(); ++n) {
                const double late = static_cast<double>(starts[n]) - static_cast<double>(n + 1) * cycleFrames;
                ASSERT_TRUE(late >= 0.0 && late < kStep) << bpm << " BPM, " << beats << " beats: cycle " << n + 1
                                                         << " starts " << late << " frames after its beat";
                worst = std::max(worst, late);
            }
            std::printf("sync at %.0f BPM, %g beats: %zu cycles in %.1f min, each starting 0 to %.0f frames after its "
                        "beat (a step is 100)\n",
                        bpm, static_cast<double>(beats), starts.size(),
                        static_cast<double>(starts.back()) / kRate / 60.0, worst);
        }
    }
}

TEST(Lv2Sync, ATempoRampKeepsEachCycleOnItsBeat) {
    // 90 to 140 BPM over 16 bars at 4 beats a bar, then steady.
    const SongTempo tempo{90.0, 140.0, 16 * 4 * kRate * 60.0 / 115.0};
    Lv2TestHost host(bundle(), kUri, kRate);
    ASSERT_TRUE(host.ok());
    sawtoothProbe(host, 1.0f);
    const auto end = static_cast<std::int64_t>(tempo.rampFrames + 8 * kRate);
    const std::vector<std::int64_t> starts = drops(play(host, tempo, 0, end, 1024));
    // Each cycle starts at the first step at or after its beat (within a
    // frame: within a block the tempo is taken as the block's own).
    std::size_t beat = 1;
    for (std::int64_t start : starts) {
        const double late = (tempo.beatAt(static_cast<double>(start)) - static_cast<double>(beat)) *
                            tempo.framesPerBeat(tempo.bpmAt(static_cast<double>(start)));
        EXPECT_TRUE(late > -1.0 && late < static_cast<double>(kStep) + 1.0)
            << "cycle " << beat << " starts " << late << " frames after its beat";
        ++beat;
    }
    EXPECT_NEAR(static_cast<double>(starts.size()), std::floor(tempo.beatAt(static_cast<double>(end - kStep))), 1.0);
}

TEST(Lv2Sync, BarsPlayedFromTheirStartSoundAsInsideTheSong) {
    // 128 BPM, 4 beats a sweep, no feedback (the lines then hold no more
    // than 99 frames of what came before), an impulse train.
    const SongTempo tempo{128.0, 128.0};
    const auto bar = [&](int n) { return static_cast<std::int64_t>((n - 1) * 4 * tempo.framesPerBeat(128.0)); };
    auto configure = [](Lv2TestHost& host) {
        host.control("sync") = 1.0f;
        host.control("resolution") = 4.0f;
        host.control("feedback") = 0.0f;
    };
    // Beats rounded to ticks, as Ardour sends them.
    Lv2TestHost whole(bundle(), kUri, kRate);
    ASSERT_TRUE(whole.ok());
    configure(whole);
    const Played song = play(whole, tempo, 0, bar(19), 512, impulses, true);

    // As Ardour exports a range: standing still, then rolling 768 frames
    // before the range, the first place a tick's rounding off the exact
    // beat (with these settings a step early in bar 17 falls within that
    // rounding of the next entry of the sweep).
    Lv2TestHost alone(bundle(), kUri, kRate);
    ASSERT_TRUE(alone.ok());
    configure(alone);
    standStill(alone, 128.0, bar(17), 40);  // the sweep runs by itself meanwhile
    const Played bars = play(alone, tempo, bar(17) - 768, bar(19), 1024, impulses, true);

    const std::int64_t from = bar(17) + kStep;
    ASSERT_EQ(std::memcmp(bars.left.data() + (from - bars.from), song.left.data() + from,
                          static_cast<std::size_t>(bar(19) - from) * sizeof(float)),
              0)
        << "bars 17 and 18 from their start differ from the same bars inside the song";
}

TEST(Lv2Sync, LocatesAndLoopsMoveTheSweepWithTheSong) {
    const SongTempo tempo{140.0, 140.0};
    const std::int64_t fourBars = static_cast<std::int64_t>(16 * tempo.framesPerBeat(140.0));
    Lv2TestHost host(bundle(), kUri, kRate);
    ASSERT_TRUE(host.ok());
    sawtoothProbe(host, 4.0f);
    host.control("waveform") = 0.0f;  // a sine: a jump would show anywhere in it
    const Played first = play(host, tempo, 0, fourBars, 333);
    for (int pass = 2; pass <= 3; ++pass) {
        const Played again = play(host, tempo, 0, fourBars, 333);  // the loop jumps back to its start
        for (std::int64_t frame = kStep; frame + kStep < fourBars; frame += kStep) {
            ASSERT_EQ(again.delayAtStep(frame), first.delayAtStep(frame)) << "pass " << pass << ", frame " << frame;
        }
    }
    // A locate into the middle of bar 3 picks up the sweep there at once.
    const std::int64_t middle = fourBars / 2 + 37 * kStep + 50;
    const Played located = play(host, tempo, middle, fourBars, 256);
    const std::int64_t firstStep = (middle + kStep - 1) / kStep * kStep;
    for (std::int64_t frame = firstStep; frame + kStep < fourBars; frame += kStep) {
        ASSERT_EQ(located.delayAtStep(frame), first.delayAtStep(frame)) << "after the locate, frame " << frame;
    }
}

TEST(Lv2Sync, AStoppedTransportLeavesTheSweepRunningUntilItRollsAgain) {
    Lv2TestHost host(bundle(), kUri, kRate);
    ASSERT_TRUE(host.ok());
    sawtoothProbe(host, 1.0f);
    const SongTempo tempo{120.0, 120.0};
    // Standing still at bar 2 for three seconds: the sweep goes on by
    // itself, a cycle about every beat at the host's tempo.
    const int block = 1000;
    std::vector<float> in = lfocycle::impulseTrain(static_cast<std::size_t>(3 * kRate));
    std::vector<float> out(in.size()), other(in.size());
    const std::int64_t barTwo = static_cast<std::int64_t>(4 * tempo.framesPerBeat(120.0));
    for (std::size_t at = 0; at < in.size(); at += static_cast<std::size_t>(block)) {
        HostPosition still;
        still.bpm = 120.0;
        still.speed = 0.0f;
        still.song = true;
        still.frame = barTwo;
        still.beat = 4.0;
        const int n = static_cast<int>(std::min(in.size() - at, static_cast<std::size_t>(block)));
        host.run(in.data() + at, in.data() + at, out.data() + at, other.data() + at, n, &still);
    }
    Played stopped;
    stopped.left = out;
    const std::vector<std::int64_t> starts = drops(stopped);
    ASSERT_GE(starts.size(), 5u) << "the sweep stood still with the transport";
    for (std::size_t n = 1; n < starts.size(); ++n) {
        EXPECT_NEAR(static_cast<double>(starts[n] - starts[n - 1]), tempo.framesPerBeat(120.0), 2.0 * kStep);
    }
    // Rolling from bar 2: the first step is on the bar line and starts a
    // cycle, as inside a song played from its start.
    const Played rolled = play(host, tempo, barTwo, barTwo + static_cast<std::int64_t>(kRate), 512);
    EXPECT_EQ(rolled.delayAtStep(barTwo), 0u);
    const std::vector<std::int64_t> after = drops(rolled);
    ASSERT_FALSE(after.empty());
    const auto beatLater = barTwo + static_cast<std::int64_t>(tempo.framesPerBeat(120.0));
    EXPECT_EQ(after.front(), (beatLater + kStep - 1) / kStep * kStep);  // the first step at or after the next beat
}

// The library of the 1.0 interface at its factory settings, switched on.
std::unique_ptr<PluginInstance> factoryLibrary() {
    auto plugin = PluginInstance::create(PluginLibrary::open(FLANGER_PLUGIN));
    plugin->open();
    plugin->setSampleRate(static_cast<float>(kRate));
    plugin->resume();
    return plugin;
}

// Renders `left`/`right` through the library in blocks of `block`.
std::vector<float> libraryRender(PluginInstance& plugin, std::vector<float> left, std::vector<float> right, int block) {
    std::vector<float> out(left.size()), other(left.size());
    for (std::size_t at = 0; at < left.size(); at += static_cast<std::size_t>(block)) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(block), left.size() - at));
        float* in[] = {left.data() + at, right.data() + at};
        float* o[] = {out.data() + at, other.data() + at};
        plugin.processReplacing(in, o, n);
    }
    return out;
}

TEST(Lv2Sync, SyncOffASongRenderedFromItsStartIsTheLibrarysRender) {
    // As Ardour exports: the first block tells a stopped transport, 94,976
    // frames of silence pass before the song starts, then a position with
    // every block of 1024.
    Lv2TestHost host(bundle(), kUri, kRate);
    ASSERT_TRUE(host.ok());
    standStill(host, 128.0, 256, 92);
    std::vector<float> silence(768), out(768), other(768);
    HostPosition preroll;
    preroll.bpm = 128.0;
    preroll.speed = 0.0f;
    preroll.song = true;
    preroll.frame = -768;
    host.run(silence.data(), silence.data(), out.data(), other.data(), 768, &preroll);

    const std::size_t frames = static_cast<std::size_t>(12 * kRate);
    const std::vector<float> left = noise(frames, 1), right = noise(frames, 2);
    const std::vector<float> expected = libraryRender(*factoryLibrary(), left, right, 1024);
    const auto song = [&](std::int64_t frame) { return left[static_cast<std::size_t>(frame)]; };
    const Played played = play(host, SongTempo{128.0, 128.0}, 0, static_cast<std::int64_t>(frames), 1024, song);
    // The right channel is checked by the library tests; here one is enough
    // to show the sweep's place, but both went in.
    ASSERT_EQ(std::memcmp(played.left.data(), expected.data(), frames * sizeof(float)), 0)
        << "the song's render differs from the library's";
}

TEST(Lv2Sync, ActivationStartsAfresh) {
    const std::size_t frames = 60000;
    const std::vector<float> left = noise(frames, 3), right = noise(frames, 4);
    auto render = [&](Lv2TestHost& host) {
        std::vector<float> out(frames), other(frames);
        for (std::size_t at = 0; at < frames; at += 700) {
            const int n = static_cast<int>(std::min<std::size_t>(700, frames - at));
            host.run(left.data() + at, right.data() + at, out.data() + at, other.data() + at, n);
        }
        return out;
    };
    Lv2TestHost fresh(bundle(), kUri, kRate);
    ASSERT_TRUE(fresh.ok());
    const std::vector<float> expected = render(fresh);

    // A used instance, then what Ardour does with a new one: runs of
    // silence between deactivations and activations.
    Lv2TestHost used(bundle(), kUri, kRate);
    ASSERT_TRUE(used.ok());
    render(used);
    std::vector<float> silence(1024), out(1024), other(1024);
    for (int round = 0; round < 2; ++round) {
        used.deactivate();
        used.activate();
        used.run(silence.data(), silence.data(), out.data(), other.data(), 1024);
    }
    used.deactivate();
    used.activate();
    ASSERT_EQ(std::memcmp(render(used).data(), expected.data(), frames * sizeof(float)), 0)
        << "an activated instance does not sound as a new one";
}

TEST(Lv2Sync, AtItsDefaultsTheEditionSoundsAsTheLibraryAtItsDefaults) {
    Lv2TestHost host(bundle(), kUri, kRate);  // every control at the bundle's default
    ASSERT_TRUE(host.ok());
    const std::size_t frames = 160000;  // past the first LFO step a tempo of 120 rather than 120.000076 changes
    const std::vector<float> left = noise(frames, 5), right = noise(frames, 6);
    const std::vector<float> expected = libraryRender(*factoryLibrary(), left, right, 4096);
    std::vector<float> out(frames), other(frames);
    for (std::size_t at = 0; at < frames; at += 4096) {
        const int n = static_cast<int>(std::min<std::size_t>(4096, frames - at));
        host.run(left.data() + at, right.data() + at, out.data() + at, other.data() + at, n);
    }
    ASSERT_EQ(std::memcmp(out.data(), expected.data(), frames * sizeof(float)), 0);
}

// The delay an impulse shows through the edition, after one block of
// silence with the controls as they are.
std::size_t delayHeard(Lv2TestHost& host) {
    std::vector<float> silence(512), out(512), other(512);
    host.run(silence.data(), silence.data(), out.data(), other.data(), 512);
    std::vector<float> impulse(200), heard(200);
    impulse[0] = lfocycle::kImpulse;
    host.run(impulse.data(), impulse.data(), heard.data(), other.data(), 200);
    return lfocycle::delayAt(heard.data());
}

TEST(Lv2Sync, SettingsMadeAtOnceSoundAsMadeOneByOne) {
    for (int way = 0; way < 3; ++way) {
        Lv2TestHost host(bundle(), kUri, kRate);
        ASSERT_TRUE(host.ok());
        host.control("feedback") = 0.0f;
        if (way == 0) {  // given at instantiation
            host.control("mod_amount") = 0.0f;
            host.control("depth") = 10.0f;
        } else {
            host.control("depth") = 50.0f;
            delayHeard(host);
            if (way == 1) {  // a session restored: both at once
                host.control("mod_amount") = 0.0f;
                host.control("depth") = 10.0f;
            } else {  // live, one after the other
                host.control("mod_amount") = 0.0f;
                delayHeard(host);
                host.control("depth") = 10.0f;
            }
        }
        EXPECT_EQ(delayHeard(host), 10u) << (way == 0 ? "at instantiation" : way == 1 ? "restored" : "live");
    }
}

}  // namespace
