// Audio files through libsndfile: a reader for anything it reads, from a
// file or standard input, and a writer into an OutputFile.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class OutputFile;

// libsndfile's string metadata: (SF_STR_TITLE, "Song"), ...
using AudioStrings = std::vector<std::pair<int, std::string>>;

class AudioReader {
public:
    // "-" reads standard input (gathered into an anonymous temporary file
    // first when it is a pipe). Throws a processing ToolError naming the
    // file and the reason: the system's ("Permission denied"), "empty file",
    // or libsndfile's after "not an audio file this tool reads".
    explicit AudioReader(const std::string& path);
    ~AudioReader();

    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // The name for messages: the path, or "standard input".
    const std::string& name() const { return shownName; }
    int channels() const { return info.channels; }
    int sampleRate() const { return info.samplerate; }
    // As the header says; an estimate for some compressed formats.
    std::int64_t frames() const { return info.frames; }
    int format() const { return info.format; }
    AudioStrings strings() const;

    // Reads up to `frames` interleaved frames; returns how many (0 at the
    // end). A file whose data ends before its header says ends there.
    std::int64_t read(float* interleaved, std::int64_t frames);

    // Why the data ended early ("the data ends before its header says"), or
    // empty; known once the header is read or the end reached.
    const std::string& shortfall() const { return cutShort; }

private:
    void checkHeaderForShortData();

    std::string shownName;
    SF_INFO info{};
    SNDFILE* file = nullptr;
    std::int64_t framesRead = 0;
    bool ended = false;
    std::string cutShort;
};

// Writes audio into an OutputFile; commit() completes the file and puts it
// in place. The same audio gives the same bytes (no time of writing). Samples for integer encodings must lie within -1..1 (the
// renderer clips them itself: libsndfile's own clipping is slow).
class AudioWriter {
public:
    AudioWriter(OutputFile& output, int channels, int sampleRate, int format, const AudioStrings& strings = {});
    ~AudioWriter();

    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames);
    void commit();

private:
    OutputFile& output;
    SNDFILE* file = nullptr;
};
