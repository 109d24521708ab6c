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
// stores would wait for both to reach memory. The frames of a chunk that a
// run only partly covers (where it starts or ends inside one) go through the
// frame formula one by one, the chunk still stored whole.
//
// A chunk's feedback samples were all stored before it (the delay is 0 or at
// least 4), so its four frames are independent of one another.
#pragma once

#include <cstdint>
#include <cstring>

#include "dsp/comb_frame.h"
#include "dsp/comb_kernel.h"

namespace combchunks {

// How an output sample is made from the wet and the input sample. With a
// send and output gain of 1 (the factory settings) and outputs replaced,
// the output is the sum of two floats, which rounded once from double is
// the float sum itself; otherwise the general formula. The shortcut is
// kept because bench/library_ab measures it up to 10% faster host-like
// (blocks of 512 and 4096 frames); the others once here did not pay.
enum class Mix { floatSum, scaled };

inline Mix mixFor(bool accumulate, const CombGains& gains) {
    return !accumulate && gains.send == 1.0 && gains.output == 1.0 ? Mix::floatSum : Mix::scaled;
}

constexpr int kUndelayed = 4;  // the phase of delay 0

// The last `Phase` samples of the older chunk, then the first 4 - Phase of
// the newer one: a chunk's feedback samples at a delay of Phase more than a
// multiple of 4. Both instruction sets' singles are vectors of four floats.
template <int Phase, class Singles>
inline Singles splice(Singles older, Singles newer) {
    return __builtin_shufflevector(older, newer, 4 - Phase, 5 - Phase, 6 - Phase, 7 - Phase);
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
        feedLeft = splice<Phase>(older.left, newerLeft);
        feedRight = splice<Phase>(older.right, newerRight);
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
        Doubles mixLeft = Ops::times(Ops::productPlus(wetLeft, gains.send, wideLeft), gains.output);
        Doubles mixRight = Ops::times(Ops::productPlus(wetRight, gains.send, wideRight), gains.output);
        if constexpr (Accumulate) mixLeft = Ops::plus(Ops::widen(Ops::load(outLeft)), mixLeft);
        Ops::store(outLeft, Ops::narrow(mixLeft));
        if constexpr (Accumulate) mixRight = Ops::plus(Ops::widen(Ops::load(outRight)), mixRight);
        Ops::store(outRight, Ops::narrow(mixRight));
    }
}

// Frames [from, to) of the chunk at `base`, `skip` frames into the run,
// one by one through the frame formula: the feedback samples read from the
// line (each within one earlier chunk store), the chunk stored whole with
// its other frames keeping the line's samples.
template <bool Accumulate>
__attribute__((noinline)) void partChunk(const CombRun& run, std::int32_t base, int from, int to, std::int32_t skip) {
    alignas(16) float left[4];
    alignas(16) float right[4];
    std::memcpy(left, run.lineLeft + base, sizeof left);
    std::memcpy(right, run.lineRight + base, sizeof right);
    for (int lane = from; lane < to; ++lane) {
        const std::int32_t position = base + lane - run.delay;
        const std::int32_t read = position < 0 ? position + run.length : position;
        const std::int32_t frame = skip + lane - from;
        combFrame<Accumulate>(run.inLeft + frame, run.inRight + frame, run.lineLeft[read], run.lineRight[read],
                              run.delay == 0, run.gains, left[lane], right[lane], run.outLeft + frame,
                              run.outRight + frame);
    }
    std::memcpy(run.lineLeft + base, left, sizeof left);
    std::memcpy(run.lineRight + base, right, sizeof right);
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
    if constexpr (!Accumulate) {
        if (mixFor(Accumulate, run.gains) == Mix::floatSum) {
            return atPhase<Ops, Accumulate, Mix::floatSum>(run, start, skip, frames);
        }
    }
    return atPhase<Ops, Accumulate, Mix::scaled>(run, start, skip, frames);
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
        const int to = lead + run.frames < 4 ? lead + run.frames : 4;
        partChunk<Accumulate>(run, base, lead, to, 0);
        if (to < 4) return base + to;
        done = to - lead;
        base = base + 4 == run.length ? 0 : base + 4;
    }
    const std::int32_t whole = (run.frames - done) & ~3;
    if (whole > 0) base = wholeChunks<Ops, Accumulate>(run, base, done, whole);
    done += whole;
    const int tail = run.frames - done;
    if (tail == 0) return base;
    partChunk<Accumulate>(run, base, 0, tail, done);
    return base + tail;
}

}  // namespace combchunks
