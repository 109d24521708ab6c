#include "cli/audio_file.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "cli/tool_error.h"

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The major format whose usual extension, or a common alias, the path has.
int majorFormatForExtension(const std::string& path) {
    std::string extension = lower(std::filesystem::path(path).extension().string());
    if (!extension.empty()) extension.erase(0, 1);
    if (extension == "aif") extension = "aiff";
    if (extension == "oga" || extension == "opus") extension = "ogg";
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension != nullptr && extension == info.extension) return info.format;
    }
    return 0;
}

bool accepts(int format, int channels) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = 44100;
    return sf_format_check(&info) != 0;
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path(path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw processingError("'" + path + "': no such file");
    if (std::filesystem::is_directory(path, error)) throw processingError("'" + path + "': is a folder");
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw processingError("'" + path + "': " + sf_strerror(nullptr));
}

AudioReader::~AudioReader() {
    if (file != nullptr) sf_close(file);
}

std::int64_t AudioReader::read(float* interleaved, std::int64_t frames) {
    const sf_count_t got = sf_readf_float(file, interleaved, frames);
    if (got < frames && sf_error(file) != SF_ERR_NO_ERROR) {
        throw processingError("'" + path + "': " + sf_strerror(file));
    }
    return got;
}

AudioWriter::AudioWriter(const std::string& path, int channels, int sampleRate, int format) : path(path) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        throw processingError("'" + path + "': folder '" + folder.string() + "' does not exist");
    }
    std::string hidden(".");
    hidden.append(target.filename().string());
    hidden.append(".partial-");
    hidden.append(std::to_string(getpid()));
    hidden.append("-");
    hidden.append(std::to_string(serial++));
    temporaryPath = (folder / hidden).string();
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    file = sf_open(temporaryPath.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw processingError("'" + path + "': cannot write: " + sf_strerror(nullptr));
}

AudioWriter::~AudioWriter() {
    if (file != nullptr) sf_close(file);
    if (!temporaryPath.empty()) {
        std::error_code error;
        std::filesystem::remove(temporaryPath, error);
    }
}

void AudioWriter::write(const float* interleaved, std::int64_t frames) {
    if (sf_writef_float(file, interleaved, frames) != frames) {
        throw processingError("'" + path + "': write failed: " + sf_strerror(file));
    }
}

void AudioWriter::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) throw processingError("'" + path + "': write failed: " + sf_error_number(closed));
    std::error_code error;
    std::filesystem::rename(temporaryPath, path, error);
    if (error) throw processingError("'" + path + "': cannot replace: " + error.message());
    temporaryPath.clear();
}

int outputFormatFor(const std::string& path, int inputFormat, bool wantFloat) {
    const int major = majorFormatForExtension(path);
    if (major == 0) {
        throw usageError("'" + path + "': unknown output format; use an extension such as .wav, .aiff, .flac or .ogg");
    }
    const bool opus = lower(std::filesystem::path(path).extension().string()) == ".opus";
    const int candidates[] = {
        wantFloat ? SF_FORMAT_FLOAT : (inputFormat & SF_FORMAT_SUBMASK),
        opus ? SF_FORMAT_OPUS : SF_FORMAT_VORBIS,
        SF_FORMAT_PCM_16,
        SF_FORMAT_PCM_24,
        SF_FORMAT_FLOAT,
    };
    for (int subtype : candidates) {
        if (subtype == 0) continue;
        if (accepts(major | subtype, 2)) return major | subtype;
    }
    throw usageError("'" + path + "': libsndfile cannot write this format");
}

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
