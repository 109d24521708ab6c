#include "cli/byte_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/stop_signals.h"

namespace {

// The data size a WAV of unknown length carries, as sox writes it to a
// pipe: the largest that every reader takes, a multiple of any frame size.
constexpr std::uint32_t kWavUnknownData = 0x7FFFF000u;
constexpr std::uint32_t kAuUnknownData = 0xFFFFFFFFu;  // AU's own "unknown"

ByteSink& of(void* self) { return *static_cast<ByteSink*>(self); }

std::uint32_t little32(const char* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(at[i]);
    return value;
}

void setLittle32(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Sets the sizes of a WAV's RIFF, data (and fact) chunks, as far as the
// bytes hold them, to a stream's unknown length.
void markWavUnknown(std::vector<char>& bytes) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        return;
    }
    std::uint32_t blockAlign = 0;
    std::size_t fact = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const char* id = bytes.data() + at;
        const std::uint32_t size = little32(id + 4);
        if (std::memcmp(id, "fmt ", 4) == 0 && at + 8 + 14 <= bytes.size()) blockAlign = little32(id + 8 + 12) & 0xFFFF;
        if (std::memcmp(id, "fact", 4) == 0 && at + 12 <= bytes.size()) fact = at + 8;
        if (std::memcmp(id, "data", 4) == 0) {
            setLittle32(bytes.data() + at + 4, kWavUnknownData);
            setLittle32(bytes.data() + 4, static_cast<std::uint32_t>(kWavUnknownData + at + 8 - 8));
            if (fact != 0 && blockAlign != 0) setLittle32(bytes.data() + fact, kWavUnknownData / blockAlign);
            return;
        }
        at += 8 + size + (size & 1);
    }
}

// An AU header's data size (big-endian, at byte 8) set to unknown.
void markAuUnknown(std::vector<char>& bytes) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), ".snd", 4) != 0) return;
    for (int i = 0; i < 4; ++i) bytes[8 + static_cast<std::size_t>(i)] = static_cast<char>((kAuUnknownData >> (24 - 8 * i)) & 0xFF);
}

}  // namespace

ByteSink::ByteSink(int descriptor, bool stream) : fd(descriptor), streaming(stream), holding(stream) {}

SF_VIRTUAL_IO& ByteSink::io() {
    static SF_VIRTUAL_IO calls{length, seek, read, write, tell};
    return calls;
}

sf_count_t ByteSink::length(void* self) { return of(self).extent; }

sf_count_t ByteSink::tell(void* self) { return of(self).position; }

sf_count_t ByteSink::seek(sf_count_t offset, int whence, void* self) {
    ByteSink& sink = of(self);
    std::int64_t to = -1;
    if (whence == SEEK_SET) to = offset;
    if (whence == SEEK_CUR) to = sink.position + offset;
    if (whence == SEEK_END) to = sink.extent + offset;
    if (to < 0) return -1;
    sink.position = to;
    return to;
}

sf_count_t ByteSink::read(void* buffer, sf_count_t bytes, void* self) {
    ByteSink& sink = of(self);
    if (sink.holding) {
        const auto held = static_cast<std::int64_t>(sink.header.size());
        const std::int64_t n = std::clamp<std::int64_t>(held - sink.position, 0, bytes);
        if (n > 0) std::memcpy(buffer, sink.header.data() + sink.position, static_cast<std::size_t>(n));
        sink.position += n;
        return n;
    }
    if (sink.streaming) return 0;  // what went out cannot be read back
    const ssize_t got = pread(sink.fd, buffer, static_cast<std::size_t>(bytes), sink.position);
    if (got < 0) return 0;
    sink.position += got;
    return got;
}

bool ByteSink::put(const char* data, std::int64_t bytes, std::int64_t at) {
    while (bytes > 0 && failed == 0) {
        const ssize_t n = streaming ? ::write(fd, data, static_cast<std::size_t>(bytes))
                                    : pwrite(fd, data, static_cast<std::size_t>(bytes), at);
        if (n < 0) {
            if (errno == EINTR && stopsignals::received() == 0) continue;
            failed = errno;
            break;
        }
        data += n;
        bytes -= n;
        at += n;
    }
    return failed == 0;
}

sf_count_t ByteSink::write(const void* buffer, sf_count_t bytes, void* self) {
    ByteSink& sink = of(self);
    const auto* data = static_cast<const char*>(buffer);
    if (sink.failed != 0) return 0;
    if (sink.holding) {
        const auto end = static_cast<std::size_t>(sink.position + bytes);
        if (sink.header.size() < end) sink.header.resize(end);
        std::memcpy(sink.header.data() + sink.position, data, static_cast<std::size_t>(bytes));
    } else if (sink.streaming) {
        // Bytes over what already went out are dropped; a gap (never made
        // by the formats streamed) goes out as zeros.
        std::int64_t skip = std::min<std::int64_t>(bytes, std::max<std::int64_t>(0, sink.extent - sink.position));
        const std::vector<char> gap(static_cast<std::size_t>(std::max<std::int64_t>(0, sink.position - sink.extent)));
        if (!gap.empty() && !sink.put(gap.data(), static_cast<std::int64_t>(gap.size()), sink.extent)) return 0;
        if (!sink.put(data + skip, bytes - skip, sink.position + skip)) return 0;
    } else if (!sink.put(data, bytes, sink.position)) {
        return 0;
    }
    sink.position += bytes;
    sink.extent = std::max(sink.extent, sink.position);
    return bytes;
}

void ByteSink::releaseHeader() {
    if (!holding) return;
    markWavUnknown(header);
    markAuUnknown(header);
    holding = false;
    put(header.data(), static_cast<std::int64_t>(header.size()), 0);
    extent = static_cast<std::int64_t>(header.size());
    header.clear();
    header.shrink_to_fit();
}

void ByteSink::finish() {
    if (!holding) return;
    holding = false;
    put(header.data(), static_cast<std::int64_t>(header.size()), 0);
    header.clear();
}
