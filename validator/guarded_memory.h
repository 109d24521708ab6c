// Host memory the way a careful host lays it out for a plug-in it does not
// trust: every buffer (a channel, an array of channel pointers, a text)
// ends right against a page the plug-in may not touch, and input buffers
// can be made read-only. A read or write past the end, or a write into an
// input, then faults at once instead of passing unseen, and the crash
// report can say which buffer it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GuardedRegion {
public:
    // `bytes` usable bytes ending at a guard page; `name` ("input 1",
    // "parameter name text") for reports. Throws std::bad_alloc.
    GuardedRegion(std::size_t bytes, const std::string& name);
    ~GuardedRegion();

    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;

    unsigned char* data() const { return start; }
    std::size_t size() const { return bytes; }
    // Read-only for the plug-in (and for us) until made writable again.
    void setReadOnly(bool readOnly);

    // What an address is, for a crash report ("past the end of input 1",
    // "into input 1, which is read-only"), written into `out`; false for an
    // address of no guarded region. Safe in a signal handler.
    static bool describe(const void* address, char* out, std::size_t size);

private:
    unsigned char* mapping = nullptr;  // the pages, guard included
    std::size_t mappingBytes = 0;
    unsigned char* start = nullptr;    // `bytes` before the guard page
    std::size_t bytes = 0;
    int slot = -1;                     // in the registry the crash report reads
};

// Channel buffers of one direction and the array of pointers to them, each
// ending at a guard page. A block of n frames uses the last n frames of each
// channel, so that the frame after the block is already guarded.
class GuardedChannels {
public:
    GuardedChannels(std::int32_t channels, std::int32_t capacity, const char* direction);

    // The pointer array for a block of `frames` frames (at most the capacity).
    float** block(std::int32_t frames);
    float* channel(std::int32_t index, std::int32_t frames) const;
    std::int32_t count() const { return static_cast<std::int32_t>(buffers.size()); }
    void fill(float value);
    void noise(std::uint32_t seed);
    void setReadOnly(bool readOnly);

private:
    std::int32_t capacity;
    std::vector<std::unique_ptr<GuardedRegion>> buffers;
    std::unique_ptr<GuardedRegion> pointers;
};
