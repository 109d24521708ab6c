#include "validator/guarded_memory.h"

#include <atomic>
#include <cstring>
#include <new>
#include <random>

#include "validator/platform.h"

namespace {

constexpr int kSlots = 1024;
constexpr std::size_t kNameBytes = 48;

// The regions alive, for the crash report: plain data a signal handler may
// read. A slot is taken with an atomic exchange and filled before it is
// marked in use.
struct Slot {
    std::atomic<bool> used{false};
    std::atomic<bool> ready{false};
    std::uintptr_t begin = 0;   // first usable byte
    std::uintptr_t end = 0;     // the guard page starts here
    std::uintptr_t guardEnd = 0;
    std::atomic<bool> readOnly{false};
    char name[kNameBytes] = {};
};
Slot slots[kSlots];

void copyName(char* to, const std::string& name) {
    const std::size_t n = name.size() < kNameBytes - 1 ? name.size() : kNameBytes - 1;
    std::memcpy(to, name.data(), n);
    to[n] = '\0';
}

// Appends `text` to out[at..size), keeping the terminator; returns the new end.
std::size_t append(char* out, std::size_t size, std::size_t at, const char* text) {
    while (*text != '\0' && at + 1 < size) out[at++] = *text++;
    if (size > 0) out[at < size ? at : size - 1] = '\0';
    return at;
}

}  // namespace

GuardedRegion::GuardedRegion(std::size_t usable, const std::string& name) : bytes(usable) {
    const std::size_t page = platform::pageSize();
    const std::size_t dataPages = (usable + page - 1) / page;
    mappingBytes = (dataPages + 1) * page;
    mapping = platform::mapPages(mappingBytes);
    if (mapping == nullptr) throw std::bad_alloc();
    platform::protectPages(mapping + dataPages * page, page, platform::Access::none);
    start = mapping + dataPages * page - usable;
    for (int i = 0; i < kSlots; ++i) {
        if (slots[i].used.exchange(true)) continue;
        slot = i;
        Slot& s = slots[i];
        s.begin = reinterpret_cast<std::uintptr_t>(start);
        s.end = reinterpret_cast<std::uintptr_t>(mapping + dataPages * page);
        s.guardEnd = s.end + page;
        s.readOnly = false;
        copyName(s.name, name);
        s.ready = true;
        break;
    }
}

GuardedRegion::~GuardedRegion() {
    if (slot >= 0) {
        slots[slot].ready = false;
        slots[slot].used = false;
    }
    platform::unmapPages(mapping, mappingBytes);
}

void GuardedRegion::setReadOnly(bool readOnly) {
    const std::size_t dataBytes = mappingBytes - platform::pageSize();
    platform::protectPages(mapping, dataBytes, readOnly ? platform::Access::read : platform::Access::readWrite);
    if (slot >= 0) slots[slot].readOnly = readOnly;
}

bool GuardedRegion::describe(const void* address, char* out, std::size_t size) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    for (const Slot& s : slots) {
        if (!s.ready) continue;
        if (at >= s.end && at < s.guardEnd) {
            std::size_t n = append(out, size, 0, "past the end of ");
            append(out, size, n, s.name);
            return true;
        }
        if (at >= s.begin && at < s.end && s.readOnly) {
            std::size_t n = append(out, size, 0, "into ");
            n = append(out, size, n, s.name);
            append(out, size, n, ", which is read-only");
            return true;
        }
        // Before the usable bytes, on the same pages: before the start.
        if (at < s.begin && at >= (s.begin & ~static_cast<std::uintptr_t>(platform::pageSize() - 1))) {
            std::size_t n = append(out, size, 0, "before the start of ");
            append(out, size, n, s.name);
            return true;
        }
    }
    return false;
}

GuardedChannels::GuardedChannels(std::int32_t channels, std::int32_t frames, const char* direction)
    : capacity(frames < 1 ? 1 : frames) {
    const std::int32_t count = channels < 0 ? 0 : channels;
    for (std::int32_t c = 0; c < count; ++c) {
        buffers.push_back(std::make_unique<GuardedRegion>(static_cast<std::size_t>(capacity) * sizeof(float),
                                                          std::string(direction) + " " + std::to_string(c)));
    }
    pointers = std::make_unique<GuardedRegion>(static_cast<std::size_t>(count) * sizeof(float*),
                                               std::string(direction) + " channel array");
    fill(0.0f);
}

float* GuardedChannels::channel(std::int32_t index, std::int32_t frames) const {
    return reinterpret_cast<float*>(buffers[static_cast<std::size_t>(index)]->data()) + (capacity - frames);
}

float** GuardedChannels::block(std::int32_t frames) {
    auto** array = reinterpret_cast<float**>(pointers->data());
    pointers->setReadOnly(false);
    for (std::int32_t c = 0; c < count(); ++c) array[c] = channel(c, frames);
    pointers->setReadOnly(true);
    return array;
}

void GuardedChannels::fill(float value) {
    for (std::int32_t c = 0; c < count(); ++c) {
        float* samples = channel(c, capacity);
        for (std::int32_t i = 0; i < capacity; ++i) samples[i] = value;
    }
}

void GuardedChannels::noise(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (std::int32_t c = 0; c < count(); ++c) {
        float* samples = channel(c, capacity);
        for (std::int32_t i = 0; i < capacity; ++i) samples[i] = uniform(random);
    }
}

void GuardedChannels::setReadOnly(bool readOnly) {
    for (auto& buffer : buffers) buffer->setReadOnly(readOnly);
}
