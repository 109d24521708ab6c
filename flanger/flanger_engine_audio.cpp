// The audio side of FlangerEngine: the frame loop, switching off and on,
// the rounding of LFO values to whole-sample delays, and playing the LFO by
// the host's place in its song.
//
// A block runs in spans between the LFO steps that change the delay; each
// span goes through the comb at the delay in force, in one piece.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/subnormal_flush.h"
#include "flanger/flanger_engine.h"

namespace {

constexpr std::int32_t kAlignedBlockFrames = 16;
// Of a table entry: how far short of its start a place may fall and still
// take it.
constexpr double kEntryTolerance = 1e-6;
// Beats by which a host's count at a steady tempo may differ from the one
// kept here and still be the same place: hosts round their beats (to
// 32-bit floats, or to ticks of 1/1920 beat). Within it the count kept
// here, from the frames played, goes on; about 20 frames at 120 BPM and
// 44.1 kHz.
constexpr double kBeatTolerance = 1e-3;

}  // namespace

std::int32_t FlangerEngine::roundDelay(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0f) return INT32_MAX;
    if (x <= -2147483648.0f) return INT32_MIN;
    const auto whole = static_cast<std::int32_t>(x);
    const auto half = static_cast<float>(static_cast<double>(whole) + 0.5);
    if (whole >= 0 && x > half) return whole + 1;
    return whole;
}

LfoTable* FlangerEngine::currentTable() {
    switch (waveShape) {
        case WaveShape::sine: return sineTable.get();
        case WaveShape::triangle: return triangleTable.get();
        case WaveShape::saw: return sawTable.get();
        case WaveShape::none: break;
    }
    return nullptr;
}

void FlangerEngine::moveToBeat(LfoTable& table, double beat) const {
    // Entries 0 to lastEntry() - 1 make one cycle; the last one repeats
    // the first when the cycle is played in turn.
    const auto steps = static_cast<double>(std::max<std::uint32_t>(table.lastEntry(), 1));
    const double cycles = beat / static_cast<double>(std::max<std::uint32_t>(beatsPerCycle, 1));
    // A place a rounding error short of an entry's start takes that entry:
    // a step on a bar line plays the cycle's first entry however the host
    // summed its way there.
    const double place = (cycles - std::floor(cycles)) * steps + kEntryTolerance;
    const double entry = place - std::floor(place / steps) * steps;  // 0 <= entry < steps, also before the song's start
    table.moveTo(entry >= 0.0 && entry < steps ? static_cast<std::uint32_t>(entry) : 0);  // else a place out of range
}

bool FlangerEngine::stepLfo(std::int32_t offset) {
    sineTable->isDue(sampleCounter);
    if (LfoTable* table = currentTable()) {
        if (songLocked && songByBeat) {
            moveToBeat(*table, song.beat + static_cast<double>(offset) * song.beatsPerFrame);
        }
        currentDelay = roundDelay(table->next());
    }
    // The delay the lines would take: setDelay limits it to 0..length - 1.
    return std::clamp(currentDelay, 0, comb->length() - 1) != comb->delay();
}

void FlangerEngine::run(float** inputs, float** outputs, std::int32_t frames, bool accumulate) {
    if (frames <= 0) return;
    // Chunks of four counted from the block: moving the lines costs about as
    // much as a part chunk, so only a block long enough saves by it.
    if (frames >= kAlignedBlockFrames) comb->alignToChunk();
    const SubnormalFlush flush;
    const float send = working(kParamSend);
    auto render = [&](std::int32_t at, std::int32_t count) {
        comb->process(StereoSpan{inputs[0] + at, inputs[1] + at, outputs[0] + at, outputs[1] + at, count},
                      feedbackGain, send, outputGain, accumulate);
    };

    // Frames [done - pending, done) wait to be rendered at the delay in
    // force; they go in one piece when the delay is about to change, or at
    // the end.
    std::int32_t pending = 0;
    for (std::int32_t done = 0; done < frames;) {
        // Up to the next LFO step, which comes first in its frame.
        std::int32_t span = frames - done;
        if (working(kParamModAmount) != 0.0f) {
            if (sineTable->framesUntilDue(sampleCounter) == 0 && stepLfo(done)) {
                render(done - pending, pending);
                pending = 0;
                comb->setDelay(currentDelay);
            }
            span = static_cast<std::int32_t>(
                std::min<std::uint32_t>(static_cast<std::uint32_t>(span), sineTable->framesUntilDue(sampleCounter)));
            sampleCounter += static_cast<std::uint32_t>(span);
        }
        pending += span;
        done += span;
    }
    render(frames - pending, pending);
    if (songLocked) {
        song.frame += static_cast<double>(frames) * song.speed;
        song.beat += static_cast<double>(frames) * song.beatsPerFrame;
    }
}

void FlangerEngine::process(float** inputs, float** outputs, std::int32_t frames) {
    run(inputs, outputs, frames, true);
}

void FlangerEngine::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    run(inputs, outputs, frames, false);
}

void FlangerEngine::suspend() {
    comb->clear();
    sineTable->clear();
    triangleTable->clear();
    sawTable->clear();
}

void FlangerEngine::resume() {
    comb->clear();
    sineTable->build(modSamples, lfoRate, lfoCenter);
    triangleTable->build(modSamples, lfoRate, lfoCenter);
    sawTable->build(modSamples, lfoRate, lfoCenter);
}

void FlangerEngine::followSong(const SongPlace& place, bool byBeat) {
    const bool knowsFrame = std::isfinite(place.frame);
    const bool knowsBeat = std::isfinite(place.beat);
    if (!std::isfinite(place.speed) || !std::isfinite(place.beatsPerFrame) || (byBeat ? !knowsBeat : !knowsFrame)) {
        runFree();
        return;
    }
    // A place follows from the last one when the song moved on by the frames
    // played: then the sweep goes on as it was, and a beat the host counted
    // within a rounding of the one kept here is that one.
    const bool sameWay = songLocked && songByBeat == byBeat;
    const bool frameFollows = knowsFrame && std::isfinite(song.frame) && std::fabs(place.frame - song.frame) < 1.0;
    // While the tempo changes, the host's count is the better one.
    const bool beatFollows = knowsBeat && std::isfinite(song.beat) && place.beatsPerFrame == song.beatsPerFrame &&
                             std::fabs(place.beat - song.beat) <= kBeatTolerance;
    const double stepBeats = std::fabs(place.beatsPerFrame) * static_cast<double>(flangerfacts::kStepFrames);
    const bool follows =
        sameWay && (knowsFrame ? frameFollows
                               : byBeat && std::isfinite(song.beat) && std::fabs(place.beat - song.beat) <= stepBeats);
    const SongPlace kept = song;
    songLocked = true;
    songByBeat = byBeat;
    song = place;
    if (follows && frameFollows) song.frame = kept.frame;
    if (follows && beatFollows) song.beat = kept.beat;
    if (knowsFrame) {
        // The next song frame that is a multiple of a step; in turn, the
        // first step plays at song frame 100, as from a new instance.
        const double step = static_cast<double>(flangerfacts::kStepFrames);
        double next = std::ceil(song.frame / step) * step;
        if (!byBeat && next < step) next = step;
        const double speed = std::fabs(song.speed) > 0.0 ? std::fabs(song.speed) : 1.0;
        const double frames = std::ceil((next - song.frame) / speed);
        if (frames >= 0.0 && frames < 4.0e9) sineTable->makeDueIn(sampleCounter, static_cast<std::uint32_t>(frames));
    }
    if (!follows) placeInSong();
}

void FlangerEngine::placeInSong() {
    LfoTable* table = currentTable();
    if (table == nullptr || working(kParamModAmount) == 0.0f) return;
    const double step = static_cast<double>(flangerfacts::kStepFrames);
    // The step in force: the last one at or before the next frame.
    const double stepsSoFar = std::isfinite(song.frame) ? std::floor(song.frame / step) : 0.0;
    if (songByBeat) {
        const double sinceStep = std::isfinite(song.frame) ? song.frame - stepsSoFar * step : 0.0;
        moveToBeat(*table, song.beat - sinceStep * song.beatsPerFrame);
        currentDelay = roundDelay(table->next());
        comb->setDelay(currentDelay);
    } else if (stepsSoFar < 1.0) {
        table->moveTo(0);
        comb->setDelay(comb->length() - 1);
    } else {
        // Step k plays entry k - 1 of a cycle of lastEntry() + 1 entries.
        const double entries = static_cast<double>(table->lastEntry()) + 1.0;
        const double played = stepsSoFar - 1.0;
        const double entry = played - std::floor(played / entries) * entries;
        table->moveTo(entry >= 0.0 && entry < entries ? static_cast<std::uint32_t>(entry) : 0);
        currentDelay = roundDelay(table->next());
        comb->setDelay(currentDelay);
    }
}

void FlangerEngine::runFree() { songLocked = false; }
