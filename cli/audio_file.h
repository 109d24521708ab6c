// Audio files through libsndfile: a reader for anything it reads, and a
// writer that only ever replaces its target with a complete file.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

class AudioReader {
public:
    // Throws a processing ToolError naming the file and libsndfile's reason.
    explicit AudioReader(const std::string& path);
    ~AudioReader();

    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const { return info.channels; }
    int sampleRate() const { return info.samplerate; }
    std::int64_t frames() const { return info.frames; }
    int format() const { return info.format; }
    // Reads up to `frames` interleaved frames; returns how many were read.
    std::int64_t read(float* interleaved, std::int64_t frames);

private:
    std::string path;
    SF_INFO info{};
    SNDFILE* file = nullptr;
};

// Writes into a temporary file beside the target; commit() renames it over
// the target. Samples for integer encodings must lie within -1..1 (the
// renderer clips them itself: libsndfile's own clipping is slow). Destroyed without commit(), it removes the temporary file, so
// no partial output is ever left behind.
class AudioWriter {
public:
    AudioWriter(const std::string& path, int channels, int sampleRate, int format);
    ~AudioWriter();

    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames);
    void commit();

private:
    std::string path;
    std::string temporaryPath;
    SNDFILE* file = nullptr;
};

// The libsndfile format for writing `path`, chosen by its extension: the
// input's encoding where the container takes it, else a common one (16-bit
// PCM, or Vorbis and Opus for their containers); 32-bit float with
// `wantFloat`. Throws a usage ToolError for an extension no format has.
int outputFormatFor(const std::string& path, int inputFormat, bool wantFloat);

// True for integer PCM encodings, which clip samples beyond full scale.
bool isIntegerPcm(int format);
