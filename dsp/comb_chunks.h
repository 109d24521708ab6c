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
// two floats, which rounded once from double is the float sum itself), with
// a gain of 1 the wet sample scaled by the send, otherwise both and the gain.
enum class Mix { floatSum, sum, unitGain, scaled };

// (static: this header is compiled with each kernel's own instruction set,
// and one kernel must never run another's copy.)
static inline Mix mixFor(bool accumulate, const CombGains& gains) {
    if (gains.output != 1.0) return Mix::scaled;
    if (gains.send != 1.0) return Mix::unitGain;
    return accumulate ? Mix::sum : Mix::floatSum;
}

constexpr int kUndelayed = 4;  // the phase of delay 0

// The four host samples of lanes [from, to) of a chunk, the others 0.
template <class Ops>
typename Ops::Singles loadLanes(const float* p, int from, int to) {
    float lanes[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::memcpy(lanes + from, p, static_cast<std::size_t>(to - from) * sizeof(float));
    return Ops::load(lanes);
}

template <class Ops>
void storeLanes(float* p, typename Ops::Singles v, int from, int to) {
    float lanes[4];
    Ops::store(lanes, v);
    std::memcpy(p, lanes + from, static_cast<std::size_t>(to - from) * sizeof(float));
}

// Where the chunk's four frames are, and which of them belong to the run.
struct Lanes {
    int from;  // 0..3
    int to;    // from + 1..4
};

// The older of the two line chunks a chunk's feedback samples come from, for
// each line, carried from one chunk to the next.
template <class Ops>
struct Older {
    typename Ops::Singles left;
    typename Ops::Singles right;
};

// One chunk, both channels: the host's samples of its lanes at `in*` and
// `out*` (lane `lanes.from` first), the line chunk stored at `write*`, the
// newest feedback chunk at `newest*`. All inputs of a chunk are read before
// its outputs are written, left output before right, which is what frames
// one by one do for arrays that coincide.
template <class Ops, bool Accumulate, Mix kind, int Phase, bool Whole>
inline __attribute__((always_inline)) void chunk(const float* inLeft, const float* inRight, float* outLeft,
                                                 float* outRight, float* writeLeft, float* writeRight,
                                                 const float* newestLeft, const float* newestRight,
                                                 Older<Ops>& older, const CombGains& gains, Lanes lanes) {
    using Singles = typename Ops::Singles;
    using Doubles = typename Ops::Doubles;
    constexpr bool undelayed = Phase == kUndelayed;
    const Singles left = Whole ? Ops::load(inLeft) : loadLanes<Ops>(inLeft, lanes.from, lanes.to);
    const Singles right = Whole ? Ops::load(inRight) : loadLanes<Ops>(inRight, lanes.from, lanes.to);
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
    Singles storedLeft = Ops::narrow(Ops::productPlus(wideFeedLeft, gains.feedback, wideLeft));
    Singles storedRight = Ops::narrow(Ops::productPlus(wideFeedRight, gains.feedback, wideRight));
    if constexpr (!Whole) {
        // The lanes outside the run keep the line's samples: loaded from
        // where the chunk is stored (for delay 0 that is the newest chunk).
        storedLeft = Ops::blend(Ops::load(writeLeft), storedLeft, lanes.from, lanes.to);
        storedRight = Ops::blend(Ops::load(writeRight), storedRight, lanes.from, lanes.to);
    }
    Ops::store(writeLeft, storedLeft);
    Ops::store(writeRight, storedRight);

    auto put = [&](float* out, Singles value) {
        if constexpr (Whole) {
            Ops::store(out, value);
        } else {
            storeLanes<Ops>(out, value, lanes.from, lanes.to);
        }
    };
    auto previous = [&](const float* out) {
        return Whole ? Ops::load(out) : loadLanes<Ops>(out, lanes.from, lanes.to);
    };
    if constexpr (kind == Mix::floatSum) {
        put(outLeft, Ops::add(undelayed ? storedLeft : feedLeft, left));
        put(outRight, Ops::add(undelayed ? storedRight : feedRight, right));
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
        if constexpr (Accumulate) mixLeft = Ops::plus(Ops::widen(previous(outLeft)), mixLeft);
        put(outLeft, Ops::narrow(mixLeft));
        if constexpr (Accumulate) mixRight = Ops::plus(Ops::widen(previous(outRight)), mixRight);
        put(outRight, Ops::narrow(mixRight));
    }
}

// The run: a part chunk up to the first chunk boundary, whole chunks, and a
// part chunk after the last.
template <class Ops, bool Accumulate, Mix kind, int Phase>
__attribute__((noinline)) std::int32_t chunkLoop(const CombRun& run) {
    // Copied out first: the stores below may alias anything as far as the
    // compiler knows, and would make it read these again for every chunk.
    float* const lineLeft = run.lineLeft;
    float* const lineRight = run.lineRight;
    const float* const inLeft = run.inLeft;
    const float* const inRight = run.inRight;
    float* const outLeft = run.outLeft;
    float* const outRight = run.outRight;
    const std::int32_t length = run.length;
    const std::int32_t frames = run.frames;
    const CombGains gains = run.gains;

    std::int32_t write = run.write & ~3;  // the chunk of the run's first frame
    // The chunk holding the newest feedback samples, and the one before it.
    std::int32_t newest = write - (run.delay & ~3);
    if (newest < 0) newest += length;
    Older<Ops> older{};
    if constexpr (Phase != kUndelayed && Phase != 0) {
        const std::int32_t before = (newest == 0 ? length : newest) - 4;
        older = Older<Ops>{Ops::load(lineLeft + before), Ops::load(lineRight + before)};
    }
    auto advance = [&] {
        write = write + 4 == length ? 0 : write + 4;
        newest = newest + 4 == length ? 0 : newest + 4;
    };

    std::int32_t done = 0;
    const int lead = run.write & 3;
    if (lead != 0) {
        const Lanes lanes{lead, lead + frames < 4 ? lead + frames : 4};
        chunk<Ops, Accumulate, kind, Phase, false>(inLeft, inRight, outLeft, outRight, lineLeft + write,
                                                   lineRight + write, lineLeft + newest, lineRight + newest, older,
                                                   gains, lanes);
        done = lanes.to - lanes.from;
        if (lanes.to < 4) return write + lanes.to;
        advance();
    }
    for (; frames - done >= 4; done += 4) {
        chunk<Ops, Accumulate, kind, Phase, true>(inLeft + done, inRight + done, outLeft + done, outRight + done,
                                                  lineLeft + write, lineRight + write, lineLeft + newest,
                                                  lineRight + newest, older, gains, Lanes{0, 4});
        advance();
    }
    const int rest = frames - done;
    if (rest > 0) {
        chunk<Ops, Accumulate, kind, Phase, false>(inLeft + done, inRight + done, outLeft + done, outRight + done,
                                                   lineLeft + write, lineRight + write, lineLeft + newest,
                                                   lineRight + newest, older, gains, Lanes{0, rest});
        return write + rest;
    }
    return write;
}

template <class Ops, bool Accumulate, Mix kind>
std::int32_t atPhase(const CombRun& run) {
    if (run.delay == 0) return chunkLoop<Ops, Accumulate, kind, kUndelayed>(run);
    switch (run.delay & 3) {
        case 0: return chunkLoop<Ops, Accumulate, kind, 0>(run);
        case 1: return chunkLoop<Ops, Accumulate, kind, 1>(run);
        case 2: return chunkLoop<Ops, Accumulate, kind, 2>(run);
        default: return chunkLoop<Ops, Accumulate, kind, 3>(run);
    }
}

// The kernel entry for one mode: the loop for the run's mix and phase.
template <class Ops, bool Accumulate>
std::int32_t frames(const CombRun& run) {
    switch (mixFor(Accumulate, run.gains)) {
        case Mix::floatSum:
            if constexpr (!Accumulate) return atPhase<Ops, Accumulate, Mix::floatSum>(run);
            break;
        case Mix::sum:
            if constexpr (Accumulate) return atPhase<Ops, Accumulate, Mix::sum>(run);
            break;
        case Mix::unitGain: return atPhase<Ops, Accumulate, Mix::unitGain>(run);
        case Mix::scaled: return atPhase<Ops, Accumulate, Mix::scaled>(run);
    }
    return run.write;  // not reached: mixFor gives each mode only its own kinds
}

}  // namespace combchunks
