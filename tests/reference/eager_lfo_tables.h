// The LFO tables filled eagerly, every entry stored by build in index order:
// the plain reading of how the tables are defined, kept as the reference that
// the closed-form tables must match entry for entry.
// The audio loop reads one entry per step of `stepFrames` frames; `build`
// fills a cycle swinging `amount` either side of `center` at close to `rate`
// Hz (the cycle is a whole number of steps: entries 0 to length inclusive).
//
// Storage is taken in the constructor only (it throws std::bad_alloc when it
// cannot); build, next, isDue and clear never allocate.
#pragma once

#include <cstdint>
#include <memory>

// The part the three shapes share: storage, cycle position and step clock.
class EagerLfoTable {
public:
    // stepFrames: frames per entry (0 acts as 1); maxCycleSeconds and
    // sampleRate (Hz) size the storage for the longest cycle.
    EagerLfoTable(std::uint32_t stepFrames, std::uint32_t maxCycleSeconds, float sampleRate);
    virtual ~EagerLfoTable();

    EagerLfoTable(const EagerLfoTable&) = delete;
    EagerLfoTable& operator=(const EagerLfoTable&) = delete;

    // The entry of the current step; the cycle then moves on, back to entry
    // 0 after entry `length`.
    float next() {
        const float entry = buffer[readIndex];
        readIndex = readIndex < length ? readIndex + 1 : 0;
        return entry;
    }
    // True when counter (a frame count growing by one per frame, wrapping
    // at 2^32) is exactly stepFrames past the last true answer.
    bool isDue(std::uint32_t counter) {
        if (counter - lastTick != stepFrames) return false;
        lastTick = counter;
        return true;
    }
    // Every entry 0, back to the first; length and the step clock stay.
    void clear();
    std::uint32_t cycleLength() const { return length; }
    float at(std::uint32_t i) const { return buffer[i]; }

protected:
    // What a fill needs once `length` is settled.
    struct Cycle {
        float stepDuration;   // seconds per entry
        float effectiveRate;  // Hz at which length steps make one cycle
    };
    // The steps every build shares: works out `length` for `rate` and the
    // cycle's timing, and restarts the cycle.
    Cycle startCycle(float rate);

    friend struct LfoTableProbe;

    std::unique_ptr<float[]> buffer;  // capacity + 1 entries
    float samplePeriod;               // seconds
    float sampleRate;                 // Hz, fixed at construction
    std::uint32_t stepFrames;
    std::uint32_t capacity;  // the longest length the storage holds
    std::uint32_t readIndex;
    std::uint32_t lastTick;
    std::uint32_t length;  // the last entry of the current cycle
};

// center + amount * sin(2 pi i / length); the second half mirrors the first.
class EagerSineTable : public EagerLfoTable {
public:
    using EagerLfoTable::EagerLfoTable;
    void build(float amount, float rate, float center);
};

// Up from center - amount to center + amount at the middle entry, and down.
class EagerTriangleTable : public EagerLfoTable {
public:
    using EagerLfoTable::EagerLfoTable;
    void build(float amount, float rate, float center);
};

// A rising ramp from center - amount at entry 0 to center + amount at entry
// length; the next cycle drops back in one step.
class EagerSawTable : public EagerLfoTable {
public:
    using EagerLfoTable::EagerLfoTable;
    void build(float amount, float rate, float center);
};
