// Audio files through libsndfile: a reader for anything it reads, from a
// file or a stream, and a writer into an OutputFile.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/byte_sink.h"
#include "cli/output_file.h"
#include "cli/stream_reader.h"

// libsndfile's string metadata: (SF_STR_TITLE, "Song"), ...
using AudioStrings = std::vector<std::pair<int, std::string>>;

class AudioReader {
public:
    // Opens the path once; "-" reads standard input. A regular file is read
    // as a file; anything else (standard input, a named pipe, /dev/fd/N) as
    // a stream, as it comes (StreamReader). Throws a processing ToolError
    // naming the file and the reason: the system's ("No such file or
    // directory"), "empty file", or libsndfile's after "not an audio file
    // this tool reads".
    explicit AudioReader(const std::string& path);
    ~AudioReader();

    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // The name for messages: the path, or "standard input".
    const std::string& name() const { return shownName; }
    int channels() const { return info.channels; }
    int sampleRate() const { return info.samplerate; }
    // As the header says (an estimate for some compressed formats); -1 for
    // a stream, whose header cannot know.
    std::int64_t frames() const { return stream ? -1 : info.frames; }
    int format() const { return info.format; }
    AudioStrings strings() const;
    bool isStream() const { return stream != nullptr; }
    // The file opened, for telling an output that is the same file.
    const std::optional<FileIdentity>& identity() const { return opened; }

    // Reads up to `frames` interleaved frames (from a stream, no more than
    // have come, so that they can go on at once); returns how many, 0 at the
    // end. A file whose data ends before its header says ends there.
    std::int64_t read(float* interleaved, std::int64_t frames);

    // Why the data ended early ("the data ends before its header says"), or
    // empty; known once the header is read or the end reached.
    const std::string& shortfall() const { return cutShort; }

private:
    void checkHeaderForShortData();

    std::string shownName;
    SF_INFO info{};
    SNDFILE* file = nullptr;
    std::unique_ptr<StreamReader> stream;
    std::optional<FileIdentity> opened;
    std::int64_t framesRead = 0;
    bool ended = false;
    std::string cutShort;
};

// Writes audio into an OutputFile; commit() completes the file and puts it
// in place. The same audio gives the same bytes (no time of writing).
// Samples for integer encodings must lie within -1..1 (the renderer clips
// them itself: libsndfile's own clipping is slow). Every byte goes through a
// ByteSink: any write error fails the output, whatever the format.
class AudioWriter {
public:
    // `expectedFrames`: how long the output may get (-1: not known). A WAV
    // file that could pass 4 GiB is written as RF64, which falls back to
    // WAV if it stays smaller. A stream must be of a streamable format.
    AudioWriter(OutputFile& output, int channels, int sampleRate, int format, const AudioStrings& strings = {},
                std::int64_t expectedFrames = 0);
    ~AudioWriter();

    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, std::int64_t frames);
    // Completes the file; a file is read back through libsndfile and must
    // hold every frame written, then takes the target's place.
    void commit();
    // After commit: the format the file holds (RF64 where a WAV passed 4 GiB).
    int writtenFormat() const { return format; }

private:
    // Opens libsndfile's writer of `format` on the output's descriptor.
    void open(int format);
    void failIfWriteFailed();
    // The WAV written so far, and what follows, as RF64: a WAV of a length
    // not known in advance that is about to pass 4 GiB.
    void switchToRf64();

    OutputFile& output;
    std::unique_ptr<ByteSink> sink;
    SNDFILE* file = nullptr;
    int channels;
    int sampleRate;
    AudioStrings strings;
    int format = 0;
    bool watchWavSize = false;  // a WAV file that may need to become RF64
    std::int64_t written = 0;   // frames
};
