#include "cli/stream_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/stop_signals.h"

namespace {

// What a stream's length is taken to be: unknown, and larger than any
// header's sizes.
constexpr sf_count_t kUnknownLength = sf_count_t{1} << 40;

StreamReader& of(void* self) { return *static_cast<StreamReader*>(self); }

}  // namespace

StreamReader::StreamReader(int descriptor, std::string shownName) : fd(descriptor), name(std::move(shownName)) {}

StreamReader::~StreamReader() {
    if (fd >= 0) close(fd);
}

SF_VIRTUAL_IO& StreamReader::io() {
    static SF_VIRTUAL_IO calls{length, seek, read, write, tell};
    return calls;
}

sf_count_t StreamReader::length(void*) { return kUnknownLength; }

sf_count_t StreamReader::tell(void* self) { return of(self).position; }

sf_count_t StreamReader::write(const void*, sf_count_t, void*) { return 0; }

sf_count_t StreamReader::seek(sf_count_t offset, int whence, void* self) {
    StreamReader& stream = of(self);
    std::int64_t to = -1;
    if (whence == SEEK_SET) to = offset;
    if (whence == SEEK_CUR) to = stream.position + offset;
    // SEEK_END: the length of a stream is not known until it ends; and
    // what has not come yet cannot be skipped to and come back from.
    if (to < 0 || to > stream.arrived) return -1;
    if (to < stream.arrived && to >= static_cast<std::int64_t>(stream.kept.size())) {
        stream.why = "reading it needs to go back more than " + std::to_string(kKeptBytes >> 20) +
                     " MiB, which a pipe cannot";
        return -1;
    }
    stream.position = to;
    return to;
}

std::int64_t StreamReader::readRaw(char* buffer, std::int64_t bytes) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, static_cast<std::size_t>(bytes));
        if (got >= 0) return got;
        if (errno == EINTR && stopsignals::received() == 0) continue;
        if (stopsignals::received() == 0) why = std::strerror(errno);
        return -1;
    }
}

bool StreamReader::readUpTo(std::int64_t end) {
    char scratch[1 << 16];
    while (arrived < end && !ended) {
        // Into what is kept while it is kept, else read and let go.
        const bool keeping = arrived < kKeptBytes;
        const std::int64_t want = keeping ? std::min(end, kKeptBytes) - arrived
                                          : std::min<std::int64_t>(end - arrived, sizeof scratch);
        if (keeping) kept.resize(static_cast<std::size_t>(arrived + want));
        char* into = keeping ? kept.data() + arrived : scratch;
        const std::int64_t got = readRaw(into, want);
        if (keeping) kept.resize(static_cast<std::size_t>(arrived + std::max<std::int64_t>(got, 0)));
        if (got <= 0) {
            ended = true;
            break;
        }
        arrived += got;
    }
    return arrived >= end;
}

sf_count_t StreamReader::read(void* buffer, sf_count_t bytes, void* self) {
    StreamReader& stream = of(self);
    auto* out = static_cast<char*>(buffer);
    sf_count_t done = 0;
    while (done < bytes) {
        const auto keptSize = static_cast<std::int64_t>(stream.kept.size());
        if (stream.position < keptSize) {
            const std::int64_t n = std::min(bytes - done, keptSize - stream.position);
            std::memcpy(out + done, stream.kept.data() + stream.position, static_cast<std::size_t>(n));
            done += n;
            stream.position += n;
            continue;
        }
        // Past what is kept: skip to the position, then read what comes.
        if (stream.arrived < stream.position && !stream.readUpTo(stream.position)) break;
        if (stream.arrived < kKeptBytes) {
            if (!stream.readUpTo(std::min(kKeptBytes, stream.position + (bytes - done))) &&
                stream.position >= static_cast<std::int64_t>(stream.kept.size())) {
                break;
            }
            continue;
        }
        if (stream.ended) break;
        const std::int64_t got = stream.readRaw(out + done, bytes - done);
        if (got <= 0) {
            stream.ended = true;
            break;
        }
        done += got;
        stream.position += got;
        stream.arrived += got;
    }
    return done;
}
