// Wavetables that hold one cycle of a low-frequency oscillator. The audio
// loop reads one entry per step of `stepFrames` frames; `build` sets up a
// cycle swinging `amount` either side of `center` at close to `rate` Hz (the
// cycle is a whole number of steps: entries 0 to length inclusive).
//
// Each entry is a closed form of its index, so an entry is worked out when
// `next` reads it rather than stored: `build` costs the same whatever the
// cycle's length, and the values are exactly those of filling the table in
// index order. The sine keeps the sines it has worked out for the current
// cycle, in storage taken at construction, so that the mirrored half, every
// later round of the cycle and any new cycle of the same rate and amount
// (a new centre, or a host sending a value again) take them from there.
// Nothing allocates after construction.
#pragma once

#include <cstdint>
#include <memory>

// The part the three shapes share: cycle position, step clock and the
// values a fill starts from.
class LfoTable {
public:
    virtual ~LfoTable();

    LfoTable(const LfoTable&) = delete;
    LfoTable& operator=(const LfoTable&) = delete;

    // The entry of the current step; the cycle then moves on, back to entry
    // 0 after entry `length`.
    float next();
    // True when counter (a frame count growing by one per frame, wrapping
    // at 2^32) is exactly stepFrames past the last true answer.
    bool isDue(std::uint32_t counter) {
        if (counter - lastTick != stepFrames) return false;
        lastTick = counter;
        return true;
    }
    // Frames from `counter` until isDue answers true; 0 when it would now.
    std::uint32_t framesUntilDue(std::uint32_t counter) const { return lastTick + stepFrames - counter; }
    // Moves the step clock so that isDue answers true `frames` after
    // `counter`, and every stepFrames after that.
    void makeDueIn(std::uint32_t counter, std::uint32_t frames) { lastTick = counter + frames - stepFrames; }
    // The step clock as a new table has it: first due at stepFrames.
    void restartClock() { lastTick = 0; }

    // Entries of the cycle played in turn: 0 to lastEntry().
    std::uint32_t lastEntry() const { return length; }
    // Makes entry i (at most lastEntry()) the one `next` reads.
    void moveTo(std::uint32_t i) { readIndex = i < length ? i : length; }
    // Every entry 0, back to the first; length and the step clock stay.
    void clear();

protected:
    enum class Shape { sine, triangle, saw };

    // stepFrames: frames per entry (0 acts as 1); maxCycleSeconds and
    // sampleRate (Hz) bound the longest cycle.
    LfoTable(Shape shape, std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate);

    // The steps every build shares: works out `length` for `rate` and the
    // cycle's timing, keeps what the shape's entries are made from, and
    // restarts the cycle.
    void startCycle(float amount, float rate, float center);
    // Entry i (0..length) of the current cycle.
    float entry(std::uint32_t i) const;
    // The sine part of entry i: amount * sin(2 pi j / length), for j up to
    // length / 2, from the kept sines where it is there.
    float sineOffset(std::uint32_t j) const;

    friend struct LfoTableProbe;

    Shape shape;
    float samplePeriod;  // seconds
    float sampleRate;    // Hz, fixed at construction
    std::uint32_t stepFrames;
    std::uint32_t capacity;  // the longest length
    std::uint32_t readIndex;
    std::uint32_t lastTick;
    std::uint32_t length;  // the last entry of the current cycle

    // What the entries of the current cycle are made from.
    bool cleared = true;       // every entry 0 until the next build
    float amount = 0.0f;       // swing either side of center
    float center = 0.0f;
    float stepDuration = 0.0f;   // seconds per entry
    float effectiveRate = 0.0f;  // Hz at which length steps make one cycle
    float slope = 0.0f;          // triangle and saw: rise per second
    float base = 0.0f;           // triangle and saw: center - amount

    // Sine only: sineOffset(j) for j below keptSines, in storage for every j
    // up to capacity / 2 (empty for the other shapes).
    std::unique_ptr<float[]> sines;
    std::uint32_t keptSines = 0;
};

// center + amount * sin(2 pi i / length); the second half mirrors the first.
class SineTable : public LfoTable {
public:
    SineTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate);
    void build(float amount, float rate, float center);
};

// Up from center - amount to center + amount at the middle entry, and down.
class TriangleTable : public LfoTable {
public:
    TriangleTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate);
    void build(float amount, float rate, float center);
};

// A rising ramp from center - amount at entry 0 to center + amount at entry
// length; the next cycle drops back in one step.
class SawTable : public LfoTable {
public:
    SawTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate);
    void build(float amount, float rate, float center);
};
