#include "cli/encoding.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "cli/output_file.h"
#include "cli/tool_error.h"

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Container {
    const char* name;   // extension or type
    int major;
    int codec;          // the only encoding of a compressed container, else 0
};

// Containers by the names people use; the first name of each is the one
// the messages show. Opus and MP3 are offered where the installed
// libsndfile writes them.
constexpr Container kContainers[] = {
    {"wav", SF_FORMAT_WAV, 0},           {"wave", SF_FORMAT_WAV, 0},
    {"aiff", SF_FORMAT_AIFF, 0},         {"aif", SF_FORMAT_AIFF, 0},
    {"aifc", SF_FORMAT_AIFF, 0},         {"flac", SF_FORMAT_FLAC, 0},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS}, {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},  {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
    {"caf", SF_FORMAT_CAF, 0},           {"w64", SF_FORMAT_W64, 0},
    {"rf64", SF_FORMAT_RF64, 0},         {"au", SF_FORMAT_AU, 0},
    {"snd", SF_FORMAT_AU, 0},            {"raw", SF_FORMAT_RAW, 0},
};

bool writable(int format) {
    SF_INFO info{};
    info.format = format;
    info.channels = 2;
    info.samplerate = 44100;
    return sf_format_check(&info) != 0;
}

std::string writableTypes() {
    std::string list;
    for (const auto& container : kContainers) {
        if (!writable(container.major | (container.codec != 0 ? container.codec : SF_FORMAT_PCM_16))) continue;
        list += (list.empty() ? "" : ", ") + std::string(container.name);
    }
    return list;
}

const Container& findContainer(const std::string& path, const EncodingRequest& request) {
    std::string name = lower(request.type);
    if (name.empty()) {
        name = lower(std::filesystem::path(path).extension().string());
        if (!name.empty() && name[0] == '.') name.erase(0, 1);
    }
    // A pipe or a device whose name is no audio type's: WAV.
    const bool stream = request.type.empty() && (OutputFile::isStandardOutput(path) || OutputFile::isStream(path));
    if (stream && std::none_of(std::begin(kContainers), std::end(kContainers),
                               [&](const Container& container) { return name == container.name; })) {
        name = "wav";
    }
    for (const auto& container : kContainers) {
        if (name != container.name) continue;
        if (!writable(container.major | (container.codec != 0 ? container.codec : SF_FORMAT_PCM_16))) {
            throw usageError("'" + path + "': this system's libsndfile cannot write ." + name +
                             " files; it writes " + writableTypes());
        }
        return container;
    }
    const std::string what = request.type.empty() ? "'" + path + "': unknown output format"
                                                  : "--type: '" + request.type + "' is not a format this tool writes";
    throw usageError(what + "; use one of " + writableTypes());
}

bool isPlainEncoding(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            return true;
        default:
            return false;
    }
}

// Encodings nearest to the input's, best first, for a PCM container.
std::vector<int> nearestEncodings(int subtype) {
    switch (subtype) {
        case SF_FORMAT_DOUBLE:
            return {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16};
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_ALAC_32:
            return {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16};
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_ALAC_24:
        case SF_FORMAT_ALAC_20:
        case SF_FORMAT_DWVW_24:
            return {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16};
        default:  // 8 and 16 bits, and every compressed encoding
            return {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24};
    }
}

// libsndfile's own name for a major format or an encoding.
std::string libraryName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    return sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 ? info.name : "unknown";
}

std::string containerName(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX: return "WAV";
        case SF_FORMAT_AIFF: return "AIFF";
        case SF_FORMAT_FLAC: return "FLAC";
        case SF_FORMAT_OGG: return "Ogg";
        case SF_FORMAT_MPEG: return "MPEG";
        case SF_FORMAT_CAF: return "CAF";
        case SF_FORMAT_W64: return "W64";
        case SF_FORMAT_RF64: return "RF64";
        case SF_FORMAT_AU: return "AU";
        default: return libraryName(format & SF_FORMAT_TYPEMASK);
    }
}

std::string encodingName(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8: return "8-bit PCM";
        case SF_FORMAT_PCM_U8: return "8-bit unsigned PCM";
        case SF_FORMAT_PCM_16: return "16-bit PCM";
        case SF_FORMAT_PCM_24: return "24-bit PCM";
        case SF_FORMAT_PCM_32: return "32-bit PCM";
        case SF_FORMAT_FLOAT: return "32-bit float";
        case SF_FORMAT_DOUBLE: return "64-bit float";
        case SF_FORMAT_VORBIS: return "Vorbis";
        case SF_FORMAT_OPUS: return "Opus";
        case SF_FORMAT_MPEG_LAYER_III: return "MP3";
        default: return libraryName(format & SF_FORMAT_SUBMASK);
    }
}

}  // namespace

int chooseOutputFormat(const std::string& path, int inputFormat, const EncodingRequest& request) {
    const Container& container = findContainer(path, request);
    if (request.floatingPoint && request.bits) throw usageError("--float and --bits: choose one encoding");
    if (container.codec != 0) {
        if (request.floatingPoint || request.bits) {
            throw usageError(std::string(request.floatingPoint ? "--float" : "--bits") + ": ." + container.name +
                             " files hold " + encodingName(container.codec) + ", not a choice of sample encoding");
        }
        return container.major | container.codec;
    }
    if (request.floatingPoint || request.bits) {
        int subtype = SF_FORMAT_FLOAT;
        if (request.bits) {
            switch (*request.bits) {
                case 16: subtype = SF_FORMAT_PCM_16; break;
                case 24: subtype = SF_FORMAT_PCM_24; break;
                case 32: subtype = SF_FORMAT_PCM_32; break;
                default: throw usageError("--bits: " + std::to_string(*request.bits) + " is not 16, 24 or 32");
            }
        }
        if (!writable(container.major | subtype)) {
            const std::string option = request.bits ? "--bits " + std::to_string(*request.bits) : "--float";
            std::string held;
            for (int candidate : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT}) {
                if (!writable(container.major | candidate)) continue;
                held += (held.empty() ? "" : ", ") + encodingName(candidate);
            }
            throw usageError(option + ": ." + std::string(container.name) + " files cannot hold it; they hold " + held);
        }
        return container.major | subtype;
    }
    const int input = inputFormat & SF_FORMAT_SUBMASK;
    if (isPlainEncoding(input) && writable(container.major | input)) return container.major | input;
    for (int subtype : nearestEncodings(input)) {
        if (writable(container.major | subtype)) return container.major | subtype;
    }
    throw usageError("'" + path + "': libsndfile cannot write this format");
}

std::string describeFormat(int format) { return containerName(format) + ", " + encodingName(format); }

bool isIntegerPcm(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_DWVW_12:
        case SF_FORMAT_DWVW_16:
        case SF_FORMAT_DWVW_24:
        case SF_FORMAT_DPCM_8:
        case SF_FORMAT_DPCM_16:
        case SF_FORMAT_ALAC_16:
        case SF_FORMAT_ALAC_20:
        case SF_FORMAT_ALAC_24:
        case SF_FORMAT_ALAC_32:
            return true;
        default:
            return false;
    }
}

bool isStreamable(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_AU:
        case SF_FORMAT_RAW:
        case SF_FORMAT_FLAC:
        case SF_FORMAT_OGG:
        case SF_FORMAT_MPEG:
            return true;
        default:
            return false;
    }
}

std::string streamableTypes() { return "wav, au, raw, flac, ogg, opus or mp3"; }

int bytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return 1;
        case SF_FORMAT_PCM_16:
            return 2;
        case SF_FORMAT_PCM_24:
            return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 4;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 0;
    }
}
