// The vector kernels' loop: frames four at a time, both channels together,
// with exactly the arithmetic of frames one by one. Written once as
// templates over `Ops`, the vector operations of one instruction set; each
// kernel's source file defines its Ops in an unnamed namespace and is
// compiled with its own flags, so every instantiation is its own.
//
// The lines are only ever stored in whole chunks of four samples at
// positions that are multiples of four, and read in the same whole chunks
// (a chunk's feedback samples are spliced from the two chunks they lie in),
// so every read finds exactly one earlier store: a processor then passes a
// value just stored straight on to the read, where a read straddling two
// stores would wait for both to reach memory. A run that starts or ends
// inside a chunk takes that chunk as a whole too, with the lanes outside the
// run keeping the line's samples and the host's arrays untouched there; so
// the cost of a run does not depend on where in the line it starts.
//
// A chunk's feedback samples were all stored before it (the delay is 0 or at
// least 4), so its four frames are independent of one another.
#pragma once

#include <cstdint>
#include <cstring>

#include "dsp/comb_kernel.h"

namespace combchunks {

// How an output sample is made from the wet and the input sample.
// Multiplying by exactly 1 changes no value, so a send or gain of 1 (the
// defaults) can be left out: with both, the sum alone (replacing: the sum of
// two floats, which rounded once from double is the float sum itself; adding,
// where the instruction set's Ops say it pays), with a gain of 1 the wet
// sample scaled by the send, otherwise both and the gain. Each of these
// loops is kept because it is at least 5% faster than the next more general
// one at some block size.
enum class Mix { floatSum, sum, unitGain, scaled };

template <class Ops>
Mix mixFor(bool accumulate, const CombGains& gains) {
    if (gains.output != 1.0) return Mix::scaled;
    if (gains.send != 1.0) return Mix::unitGain;
    if (!accumulate) return Mix::floatSum;
    return Ops::kPlainSumPays ? Mix::sum : Mix::unitGain;
}

constexpr int kUndelayed = 4;  // the phase of delay 0

// Where the chunk's four frames are, which of them belong to the run, and
// how much of the run lies around them, so that the host's samples can be
// loaded as four within the run and moved into their lanes.
struct Lanes {
    int from;    // 0..3
    int to;      // from + 1..4
    int before;  // frames of the run before lane `from`
    int after;   // frames of the run from lane `from` on
};

// The host's samples of lanes [from, to) of a chunk (lane `from` at p), the
// other lanes 0 or any value. Loaded as four from within the run where it
// has four, so that no load waits on smaller stores.
template <class Ops>
typename Ops::Singles loadLanes(const float* p, const Lanes& lanes) {
    const int count = lanes.to - lanes.from;
    if (lanes.from > 0 && lanes.after >= 4) return Ops::shiftUp(Ops::load(p), lanes.from);
    if (lanes.from == 0 && lanes.before + count >= 4) return Ops::shiftDown(Ops::load(p + count - 4), 4 - count);
    alignas(16) float gathered[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int l = lanes.from; l < lanes.to; ++l) gathered[l] = p[l - lanes.from];
    return Ops::load(gathered);
}

template <class Ops>
void storeLanes(float* p, typename Ops::Singles v, const Lanes& lanes) {
    alignas(16) float spread[4];
    Ops::store(spread, v);
    for (int l = lanes.from; l < lanes.to; ++l) p[l - lanes.from] = spread[l];
}

// The older of the two line chunks a chunk's feedback samples come from, for
// each line, carried from one chunk to the next.
template <class Ops>
struct Older {
    typename Ops::Singles left;
    typename Ops::Singles right;
};

// One whole chunk, both channels: the host's samples at `in*` and `out*`,
// the line chunk stored at `write*`, the newest feedback chunk at
// `newest*`. All inputs of a chunk are read before its outputs are written,
// left output before right, which is what frames one by one do for arrays
// that coincide.
template <class Ops, bool Accumulate, Mix kind, int Phase>
inline __attribute__((always_inline)) void wholeChunk(const float* inLeft, const float* inRight, float* outLeft,
                                                      float* outRight, float* writeLeft, float* writeRight,
                                                      const float* newestLeft, const float* newestRight,
                                                      Older<Ops>& older, const CombGains& gains) {
    using Singles = typename Ops::Singles;
    using Doubles = typename Ops::Doubles;
    constexpr bool undelayed = Phase == kUndelayed;
    const Singles left = Ops::load(inLeft);
    const Singles right = Ops::load(inRight);
    const Singles newerLeft = Ops::load(newestLeft);
    const Singles newerRight = Ops::load(newestRight);
    Singles feedLeft = newerLeft;
    Singles feedRight = newerRight;
    if constexpr (!undelayed && Phase != 0) {
        feedLeft = Ops::template splice<Phase>(older.left, newerLeft);
        feedRight = Ops::template splice<Phase>(older.right, newerRight);
        older = Older<Ops>{newerLeft, newerRight};
    }
    const Doubles wideLeft = Ops::widen(left);
    const Doubles wideRight = Ops::widen(right);
    const Doubles wideFeedLeft = Ops::widen(feedLeft);
    const Doubles wideFeedRight = Ops::widen(feedRight);
    const Singles storedLeft = Ops::narrow(Ops::productPlus(wideFeedLeft, gains.feedback, wideLeft));
    const Singles storedRight = Ops::narrow(Ops::productPlus(wideFeedRight, gains.feedback, wideRight));
    Ops::store(writeLeft, storedLeft);
    Ops::store(writeRight, storedRight);

    if constexpr (kind == Mix::floatSum) {
        Ops::store(outLeft, Ops::add(undelayed ? storedLeft : feedLeft, left));
        Ops::store(outRight, Ops::add(undelayed ? storedRight : feedRight, right));
    } else {
        const Doubles wetLeft = undelayed ? Ops::widen(storedLeft) : wideFeedLeft;
        const Doubles wetRight = undelayed ? Ops::widen(storedRight) : wideFeedRight;
        Doubles mixLeft;
        Doubles mixRight;
        if constexpr (kind == Mix::sum) {
            mixLeft = Ops::plus(wetLeft, wideLeft);
            mixRight = Ops::plus(wetRight, wideRight);
        } else {
            mixLeft = Ops::productPlus(wetLeft, gains.send, wideLeft);
            mixRight = Ops::productPlus(wetRight, gains.send, wideRight);
        }
        if constexpr (kind == Mix::scaled) {
            mixLeft = Ops::times(mixLeft, gains.output);
            mixRight = Ops::times(mixRight, gains.output);
        }
        if constexpr (Accumulate) mixLeft = Ops::plus(Ops::widen(Ops::load(outLeft)), mixLeft);
        Ops::store(outLeft, Ops::narrow(mixLeft));
        if constexpr (Accumulate) mixRight = Ops::plus(Ops::widen(Ops::load(outRight)), mixRight);
        Ops::store(outRight, Ops::narrow(mixRight));
    }
}

// Lanes [from, to) of the chunk at `base` only, at any delay and with any
// gains: the general formula, which gives the same bits as each shortcut.
// The feedback samples are read one by one from the line (each read lies
// within one earlier chunk store); the chunk is stored whole, its other
// lanes keeping the line's samples.
template <class Ops, bool Accumulate>
__attribute__((noinline)) void partChunk(const CombRun& run, std::int32_t base, const Lanes& lanes, const float* inLeft,
                                         const float* inRight, float* outLeft, float* outRight) {
    using Singles = typename Ops::Singles;
    using Doubles = typename Ops::Doubles;
    const std::int32_t length = run.length;
    float* const writeLeft = run.lineLeft + base;
    float* const writeRight = run.lineRight + base;
    std::int32_t at[4];
    for (int l = 0; l < 4; ++l) {
        const std::int32_t position = base + l - run.delay;
        at[l] = position < 0 ? position + length : position;
    }
    const Singles feedLeft = Ops::set(run.lineLeft[at[0]], run.lineLeft[at[1]], run.lineLeft[at[2]], run.lineLeft[at[3]]);
    const Singles feedRight =
        Ops::set(run.lineRight[at[0]], run.lineRight[at[1]], run.lineRight[at[2]], run.lineRight[at[3]]);
    const Singles left = loadLanes<Ops>(inLeft, lanes);
    const Singles right = loadLanes<Ops>(inRight, lanes);
    const Doubles wideLeft = Ops::widen(left);
    const Doubles wideRight = Ops::widen(right);
    const Singles storedLeft = Ops::blend(
        Ops::load(writeLeft), Ops::narrow(Ops::productPlus(Ops::widen(feedLeft), run.gains.feedback, wideLeft)),
        lanes.from, lanes.to);
    const Singles storedRight = Ops::blend(
        Ops::load(writeRight), Ops::narrow(Ops::productPlus(Ops::widen(feedRight), run.gains.feedback, wideRight)),
        lanes.from, lanes.to);
    Ops::store(writeLeft, storedLeft);
    Ops::store(writeRight, storedRight);
    const Doubles wetLeft = Ops::widen(run.delay == 0 ? storedLeft : feedLeft);
    const Doubles wetRight = Ops::widen(run.delay == 0 ? storedRight : feedRight);
    Doubles mixLeft = Ops::times(Ops::productPlus(wetLeft, run.gains.send, wideLeft), run.gains.output);
    Doubles mixRight = Ops::times(Ops::productPlus(wetRight, run.gains.send, wideRight), run.gains.output);
    if constexpr (Accumulate) mixLeft = Ops::plus(Ops::widen(loadLanes<Ops>(outLeft, lanes)), mixLeft);
    storeLanes<Ops>(outLeft, Ops::narrow(mixLeft), lanes);
    if constexpr (Accumulate) mixRight = Ops::plus(Ops::widen(loadLanes<Ops>(outRight, lanes)), mixRight);
    storeLanes<Ops>(outRight, Ops::narrow(mixRight), lanes);
}

// Whole chunks only: `frames` frames of the run from its frame `skip` on,
// the first stored at `start`; `start` and `frames` are multiples of 4.
// Returns the write position after them.
template <class Ops, bool Accumulate, Mix kind, int Phase>
__attribute__((noinline)) std::int32_t chunkLoop(const CombRun& run, std::int32_t start, std::int32_t skip,
                                                 std::int32_t frames) {
    // Copied out first: the stores below may alias anything as far as the
    // compiler knows, and would make it read these again for every chunk.
    float* const lineLeft = run.lineLeft;
    float* const lineRight = run.lineRight;
    const float* const inLeft = run.inLeft + skip;
    const float* const inRight = run.inRight + skip;
    float* const outLeft = run.outLeft + skip;
    float* const outRight = run.outRight + skip;
    const std::int32_t length = run.length;
    const CombGains gains = run.gains;

    std::int32_t write = start;
    // The chunk holding the newest feedback samples, and the one before it.
    std::int32_t newest = write - (run.delay & ~3);
    if (newest < 0) newest += length;
    Older<Ops> older{};
    if constexpr (Phase != kUndelayed && Phase != 0) {
        const std::int32_t before = (newest == 0 ? length : newest) - 4;
        older = Older<Ops>{Ops::load(lineLeft + before), Ops::load(lineRight + before)};
    }
    for (std::int32_t i = 0; i < frames; i += 4) {
        wholeChunk<Ops, Accumulate, kind, Phase>(inLeft + i, inRight + i, outLeft + i, outRight + i,
                                                 lineLeft + write, lineRight + write, lineLeft + newest,
                                                 lineRight + newest, older, gains);
        write = write + 4 == length ? 0 : write + 4;
        newest = newest + 4 == length ? 0 : newest + 4;
    }
    return write;
}

template <class Ops, bool Accumulate, Mix kind>
std::int32_t atPhase(const CombRun& run, std::int32_t start, std::int32_t skip, std::int32_t frames) {
    if (run.delay == 0) return chunkLoop<Ops, Accumulate, kind, kUndelayed>(run, start, skip, frames);
    switch (run.delay & 3) {
        case 0: return chunkLoop<Ops, Accumulate, kind, 0>(run, start, skip, frames);
        case 1: return chunkLoop<Ops, Accumulate, kind, 1>(run, start, skip, frames);
        case 2: return chunkLoop<Ops, Accumulate, kind, 2>(run, start, skip, frames);
        default: return chunkLoop<Ops, Accumulate, kind, 3>(run, start, skip, frames);
    }
}

// Whole chunks of a run (as chunkLoop takes them) through the loop for its
// mix and phase.
template <class Ops, bool Accumulate>
std::int32_t wholeChunks(const CombRun& run, std::int32_t start, std::int32_t skip, std::int32_t frames) {
    switch (mixFor<Ops>(Accumulate, run.gains)) {
        case Mix::floatSum:
            if constexpr (!Accumulate) return atPhase<Ops, Accumulate, Mix::floatSum>(run, start, skip, frames);
            break;
        case Mix::sum:
            if constexpr (Accumulate && Ops::kPlainSumPays) {
                return atPhase<Ops, Accumulate, Mix::sum>(run, start, skip, frames);
            }
            break;
        case Mix::unitGain: return atPhase<Ops, Accumulate, Mix::unitGain>(run, start, skip, frames);
        case Mix::scaled: return atPhase<Ops, Accumulate, Mix::scaled>(run, start, skip, frames);
    }
    return start;  // not reached: mixFor gives each mode only its own kinds
}

// The kernel entry for one mode: a part chunk up to the first chunk
// boundary, the whole chunks, and a part chunk after the last. The run is
// passed on as it is, never copied: its caller has only just stored it, and
// reading it back in wider pieces than it was stored in would wait for
// those stores to reach memory.
template <class Ops, bool Accumulate>
std::int32_t frames(const CombRun& run) {
    std::int32_t base = run.write & ~3;  // the chunk of the run's first frame
    const int lead = run.write & 3;
    std::int32_t done = 0;
    if (lead != 0) {
        const Lanes lanes{lead, lead + run.frames < 4 ? lead + run.frames : 4, 0, run.frames};
        partChunk<Ops, Accumulate>(run, base, lanes, run.inLeft, run.inRight, run.outLeft, run.outRight);
        if (lanes.to < 4) return base + lanes.to;
        done = lanes.to - lanes.from;
        base = base + 4 == run.length ? 0 : base + 4;
    }
    const std::int32_t whole = (run.frames - done) & ~3;
    if (whole > 0) base = wholeChunks<Ops, Accumulate>(run, base, done, whole);
    done += whole;
    const int tail = run.frames - done;
    if (tail == 0) return base;
    partChunk<Ops, Accumulate>(run, base, Lanes{0, tail, done, tail}, run.inLeft + done, run.inRight + done,
                               run.outLeft + done, run.outRight + done);
    return base + tail;
}

}  // namespace combchunks
