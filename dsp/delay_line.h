// A fixed-length circular buffer of samples with one write and one read
// position; the delay is the distance between them, in whole samples. The
// flanger runs its two lines as one StereoComb; this is the single line
// that the comb's lines behave as, one sample at a time.
// Storage is taken in the constructor only; every other operation is
// constant-time and allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class DelayLine {
public:
    // length: samples of storage, at least 2 (a smaller value is taken as 2).
    // A new line is silent and has a delay of length - 1. Throws
    // std::bad_alloc when the storage cannot be had.
    explicit DelayLine(std::int32_t length);
    virtual ~DelayLine();

    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;

    // delay in samples: 0 to length - 1; larger values act as length - 1,
    // negative ones as 0. Works from the current write position.
    void setDelay(std::int32_t delay);
    // The sample the next tick reads; at delay 0 the oldest sample instead.
    float peek() const { return buffer[static_cast<std::size_t>(readIndex)]; }
    // Stores input, then reads: at delay d returns the input of d ticks ago.
    float tick(float input);
    // Silences the line; the positions, and so the delay, stay.
    void clear();

    // The delay in force, in samples.
    std::int32_t delay() const {
        const std::int32_t distance = writeIndex - readIndex;
        return distance < 0 ? distance + length : distance;
    }

private:
    friend struct DelayLineProbe;

    std::unique_ptr<float[]> buffer;
    std::int32_t writeIndex;
    std::int32_t readIndex;
    std::int32_t length;
};
