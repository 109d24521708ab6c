// An input that cannot seek (standard input, a named pipe, /dev/fd/N of a
// pipe) for libsndfile to read as it comes: its virtual I/O reads the
// descriptor forward only, keeping the first kKeptBytes for the seeks back
// that reading a header takes (a FLAC or MP3 header looks ahead, then
// back). Memory stays at that bound whatever the length.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

class StreamReader {
public:
    static constexpr std::int64_t kKeptBytes = 1 << 20;

    // Takes the descriptor and closes it. `name` is for messages.
    StreamReader(int fd, std::string name);
    ~StreamReader();

    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // For sf_open_virtual, with this object as the user data.
    static SF_VIRTUAL_IO& io();

    // Why reading failed (a seek back past what is kept, a read error), or
    // empty.
    const std::string& failure() const { return why; }

private:
    static sf_count_t length(void* self);
    static sf_count_t seek(sf_count_t offset, int whence, void* self);
    static sf_count_t read(void* buffer, sf_count_t bytes, void* self);
    static sf_count_t write(const void* buffer, sf_count_t bytes, void* self);
    static sf_count_t tell(void* self);

    // Reads on until `end` bytes have come (or the input ends); false if
    // they did not.
    bool readUpTo(std::int64_t end);
    // Reads into `buffer` straight from the descriptor; bytes read, -1 on
    // an error.
    std::int64_t readRaw(char* buffer, std::int64_t bytes);

    int fd;
    std::string name;
    std::vector<char> kept;    // the first bytes of the input, up to kKeptBytes
    std::int64_t position = 0;  // where libsndfile reads next
    std::int64_t arrived = 0;   // bytes taken from the descriptor so far
    bool ended = false;
    std::string why;
};
