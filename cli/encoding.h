// The container and sample encoding of an output file (libsndfile format
// codes) and their names for people.
#pragma once

#include <optional>
#include <string>

struct EncodingRequest {
    std::string type;              // a container by its extension ("wav", "flac"); empty: the output's extension
    std::optional<int> bits;       // --bits: 16, 24 or 32-bit integer PCM
    bool floatingPoint = false;    // --float: 32-bit float
};

// The format for an output named `path` ("-" is standard output; it, a pipe
// or a device whose name has no audio type's extension is WAV unless the
// request names a type) from an input of `inputFormat`: the container
// its extension (or the requested type) names; the encoding asked for, or
// else the input's where the container holds it, or else the nearest it
// holds (24-bit PCM for float or 32-bit input to FLAC, 16-bit PCM for
// compressed input to a PCM container; the codec itself for Ogg and MP3).
// Throws a usage ToolError for an unknown type or an encoding the container
// cannot hold.
int chooseOutputFormat(const std::string& path, int inputFormat, const EncodingRequest& request);

// "FLAC, 24-bit PCM", "Ogg, Vorbis", "WAV, 32-bit float".
std::string describeFormat(int format);

// True for integer PCM encodings, which clip samples beyond full scale.
bool isIntegerPcm(int format);

// True for containers that can be written as a stream, front to back
// (WAV with an unknown length, AU, raw, FLAC, Ogg, MP3).
bool isStreamable(int format);
// The streamable containers by name, for messages.
std::string streamableTypes();

// Bytes per sample of an uncompressed encoding; 0 for compressed ones.
int bytesPerSample(int format);
