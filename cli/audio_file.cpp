#include "cli/audio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <sstream>

#include "cli/encoding.h"
#include "cli/output_file.h"
#include "cli/stop_signals.h"
#include "cli/tool_error.h"

namespace {

constexpr int kStrings[] = {SF_STR_TITLE,   SF_STR_COPYRIGHT, SF_STR_SOFTWARE, SF_STR_ARTIST, SF_STR_COMMENT,
                            SF_STR_DATE,    SF_STR_ALBUM,     SF_STR_LICENSE,  SF_STR_TRACKNUMBER,
                            SF_STR_GENRE};

// Standard input as a seekable file: itself when it is one, otherwise its
// bytes gathered into an anonymous temporary file.
int seekableStandardInput() {
    struct stat info {};
    if (fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode)) return dup(STDIN_FILENO);
    const int fd = openAnonymousTemporaryFile();
    if (fd < 0) throw processingError("standard input: " + std::string(std::strerror(errno)));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR && stopsignals::received() == 0) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            if (stopsignals::received() != 0) throw processingError(std::string("standard input: ") + stopsignals::describe());
            throw processingError("standard input: " + std::string(std::strerror(error)));
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(fd, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR && stopsignals::received() == 0) continue;
            if (w < 0) {
                const int error = errno;
                close(fd);
                throw processingError("standard input: cannot keep it in a temporary file: " +
                                      std::string(std::strerror(error)));
            }
            done += w;
        }
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : shownName(path == "-" ? "standard input" : "'" + path + "'") {
    const int fd = path == "-" ? seekableStandardInput() : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw processingError(shownName + ": " + std::strerror(errno));
    struct stat status {};
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        throw processingError(shownName + ": is a folder");
    }
    if (S_ISREG(status.st_mode) && status.st_size == 0) {
        close(fd);
        throw processingError(shownName + ": empty file");
    }
    file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (file == nullptr) {
        close(fd);
        throw processingError(shownName + ": not an audio file this tool reads: " + sf_strerror(nullptr));
    }
    checkHeaderForShortData();
}

AudioReader::~AudioReader() {
    if (file != nullptr) sf_close(file);
}

void AudioReader::checkHeaderForShortData() {
    // libsndfile notes a data chunk longer than the file in its log, as
    // "data : 176400 (should be 99956)", and reads what is there.
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || (line.compare(start, 4, "data") != 0 && line.compare(start, 4, "SSND") != 0)) {
            continue;
        }
        long long announced = 0, present = 0;
        if (std::sscanf(line.c_str() + start + 4, " : %lld (should be %lld)", &announced, &present) == 2 &&
            announced > present) {
            cutShort = "the file ends before its header says";
        }
    }
}

AudioStrings AudioReader::strings() const {
    AudioStrings found;
    for (int kind : kStrings) {
        const char* text = sf_get_string(file, kind);
        if (text != nullptr && *text != '\0') found.emplace_back(kind, text);
    }
    return found;
}

std::int64_t AudioReader::read(float* interleaved, std::int64_t frames) {
    if (ended) return 0;
    const sf_count_t got = sf_readf_float(file, interleaved, frames);
    framesRead += got;
    if (got < frames) {
        ended = true;
        const int major = info.format & SF_FORMAT_TYPEMASK;
        // Compressed streams announce an estimate of their length.
        const bool exactLength = major != SF_FORMAT_OGG && major != SF_FORMAT_MPEG;
        if (sf_error(file) != SF_ERR_NO_ERROR) {
            cutShort = std::string("the data ends early (") + sf_strerror(file) + ")";
        } else if (exactLength && framesRead < info.frames && cutShort.empty()) {
            cutShort = "the data ends before its header says";
        }
    }
    return got;
}

AudioWriter::AudioWriter(OutputFile& output, int channels, int sampleRate, int format, const AudioStrings& strings)
    : output(output) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    file = sf_open_fd(output.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
        throw processingError(output.name() + ": cannot write " + describeFormat(format) + ": " +
                              sf_strerror(nullptr));
    }
    // No PEAK chunk: it carries the time of writing, and the same render
    // should give the same bytes.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    for (const auto& [kind, text] : strings) sf_set_string(file, kind, text.c_str());
}

AudioWriter::~AudioWriter() {
    if (file != nullptr) sf_close(file);
}

void AudioWriter::write(const float* interleaved, std::int64_t frames) {
    if (sf_writef_float(file, interleaved, frames) != frames) {
        throw processingError(output.name() + ": write failed: " + sf_strerror(file));
    }
}

void AudioWriter::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) throw processingError(output.name() + ": write failed: " + sf_error_number(closed));
    output.commit();
}
