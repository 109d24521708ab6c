// Where libsndfile's bytes for one output go, through its virtual I/O, so
// that every write is seen and checked:
//  - a file: written where libsndfile says, each write's result kept (the
//    first error, such as a full disk, fails the output whatever the format
//    does with it);
//  - a stream (standard output, a pipe, a device): written as it comes. The
//    header waits until the audio starts (releaseHeader), then goes out with
//    the sizes a stream of unknown length carries (for WAV, as sox writes
//    it); what libsndfile later writes over bytes already sent (the header
//    it completes at the end) is dropped.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

class ByteSink {
public:
    // Writes to `fd` (not taken: the caller closes it); `stream` as above.
    ByteSink(int fd, bool stream);

    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    // For sf_open_virtual, with this object as the user data.
    static SF_VIRTUAL_IO& io();

    // A stream: sends what is held (the header and the first audio), with
    // the sizes set to a stream's unknown length (WAV, AU). Later bytes go
    // out as they come. Call after the first audio is written.
    void releaseHeader();
    // A stream, after libsndfile closed: sends what is still held as it is
    // (an output without audio, whose sizes are then known).
    void finish();
    // The first write error (errno), or 0.
    int error() const { return failed; }
    bool stream() const { return streaming; }

private:
    static sf_count_t length(void* self);
    static sf_count_t seek(sf_count_t offset, int whence, void* self);
    static sf_count_t read(void* buffer, sf_count_t bytes, void* self);
    static sf_count_t write(const void* buffer, sf_count_t bytes, void* self);
    static sf_count_t tell(void* self);

    // Writes all of it to the descriptor at the file position `at` (a
    // stream: where it stands); false after an error.
    bool put(const char* data, std::int64_t bytes, std::int64_t at);

    int fd;
    bool streaming;
    bool holding;               // a stream's header not yet sent
    std::vector<char> header;   // what a stream holds back
    std::int64_t position = 0;  // where libsndfile writes next
    std::int64_t extent = 0;    // bytes in the file (a stream: sent or held)
    int failed = 0;
};
