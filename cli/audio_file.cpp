#include "cli/audio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <sstream>
#include <vector>

#include "cli/encoding.h"
#include "cli/output_file.h"
#include "cli/stop_signals.h"
#include "cli/tool_error.h"

namespace {

constexpr int kStrings[] = {SF_STR_TITLE,   SF_STR_COPYRIGHT, SF_STR_SOFTWARE, SF_STR_ARTIST, SF_STR_COMMENT,
                            SF_STR_DATE,    SF_STR_ALBUM,     SF_STR_LICENSE,  SF_STR_TRACKNUMBER,
                            SF_STR_GENRE};

// Frames a read from a stream asks for at most: what comes is passed on
// within a few milliseconds.
constexpr std::int64_t kStreamReadFrames = 1024;
// A WAV's sizes are 32-bit: past this the file is written as RF64.
constexpr std::int64_t kWavLargestData = 0xFFFFFFFFll - (1 << 20);

}  // namespace

AudioReader::AudioReader(const std::string& path) : shownName(path == "-" ? "standard input" : "'" + path + "'") {
    const int fd = path == "-" ? fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (stopsignals::received() != 0) throw processingError(shownName + ": " + stopsignals::describe());
        throw processingError(shownName + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        throw processingError(shownName + ": is a folder");
    }
    if (S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode)) opened = FileIdentity{status.st_dev, status.st_ino};
    if (S_ISREG(status.st_mode) && status.st_size == 0) {
        close(fd);
        throw processingError(shownName + ": empty file");
    }
    if (S_ISREG(status.st_mode)) {
        file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
        if (file == nullptr) {
            close(fd);
            throw processingError(shownName + ": not an audio file this tool reads: " + sf_strerror(nullptr));
        }
        checkHeaderForShortData();
        return;
    }
    stream = std::make_unique<StreamReader>(fd, shownName);
    file = sf_open_virtual(&StreamReader::io(), SFM_READ, &info, stream.get());
    if (file == nullptr) {
        if (stopsignals::received() != 0) throw processingError(shownName + ": " + stopsignals::describe());
        const std::string why = stream->failure().empty() ? sf_strerror(nullptr) : stream->failure();
        throw processingError(shownName + ": not an audio file this tool reads: " + why);
    }
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
    if (stream) frames = std::min(frames, kStreamReadFrames);
    const sf_count_t got = sf_readf_float(file, interleaved, frames);
    framesRead += got;
    if (stream) {
        // A stream ends when nothing more comes; its header's length means nothing.
        if (got == 0) {
            ended = true;
            if (!stream->failure().empty()) cutShort = "reading stopped: " + stream->failure();
        }
        return got;
    }
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

AudioWriter::AudioWriter(OutputFile& output, int channels, int sampleRate, int requested, const AudioStrings& strings,
                         std::int64_t expectedFrames)
    : output(output), channels(channels), sampleRate(sampleRate), strings(strings), format(requested) {
    if (output.stream() && !isStreamable(format)) {
        throw processingError(output.name() + ": " + describeFormat(format) + " cannot be written as a stream; write " +
                              streamableTypes() + " there (--type)");
    }
    // A WAV file that will pass 4 GiB is RF64 from the start; one whose
    // length is not known becomes RF64 if it gets there.
    const bool wav = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && !output.stream();
    const std::int64_t bytes = expectedFrames * channels * std::max(bytesPerSample(format), 1);
    if (wav && expectedFrames >= 0 && bytes > kWavLargestData) format = SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
    watchWavSize = wav && expectedFrames < 0;
    open(format);
}

void AudioWriter::open(int chosen) {
    sink = std::make_unique<ByteSink>(output.descriptor(), output.stream());
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = chosen;
    file = sf_open_virtual(&ByteSink::io(), SFM_WRITE, &info, sink.get());
    if (file == nullptr) {
        throw processingError(output.name() + ": cannot write " + describeFormat(chosen) + ": " +
                              sf_strerror(nullptr));
    }
    // No PEAK chunk: it carries the time of writing, and the same render
    // should give the same bytes (libsndfile's RF64 writes one all the same).
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    for (const auto& [kind, text] : strings) sf_set_string(file, kind, text.c_str());
}

void AudioWriter::switchToRf64() {
    const int closed = sf_close(file);
    file = nullptr;
    failIfWriteFailed();
    if (closed != 0) throw processingError(output.name() + ": write failed: " + sf_error_number(closed));
    SF_INFO info{};
    SNDFILE* wav = sf_open_fd(output.restartData(), SFM_READ, &info, SF_TRUE);
    if (wav == nullptr) throw processingError(output.name() + ": cannot read back what was written: " + sf_strerror(nullptr));
    format = SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
    watchWavSize = false;
    try {
        open(format);
        // The same sample bytes in either container.
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const sf_count_t got = sf_read_raw(wav, buffer.data(), static_cast<sf_count_t>(buffer.size()));
            if (got <= 0) break;
            if (sf_write_raw(file, buffer.data(), got) != got) {
                failIfWriteFailed();
                throw processingError(output.name() + ": write failed: " + sf_strerror(file));
            }
        }
    } catch (...) {
        sf_close(wav);
        throw;
    }
    sf_close(wav);
}

AudioWriter::~AudioWriter() {
    if (file != nullptr) sf_close(file);
}

void AudioWriter::failIfWriteFailed() {
    if (sink->error() != 0) throw processingError(output.name() + ": write failed: " + std::strerror(sink->error()));
}

void AudioWriter::write(const float* interleaved, std::int64_t frames) {
    if (watchWavSize && (written + frames) * channels * std::max(bytesPerSample(format), 1) > kWavLargestData) {
        switchToRf64();
    }
    const sf_count_t done = sf_writef_float(file, interleaved, frames);
    failIfWriteFailed();
    if (done != frames) throw processingError(output.name() + ": write failed: " + sf_strerror(file));
    written += frames;
    // The header and the first audio of a stream go out together.
    if (sink->stream() && frames > 0) {
        sink->releaseHeader();
        failIfWriteFailed();
    }
}

void AudioWriter::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    failIfWriteFailed();
    if (closed != 0) throw processingError(output.name() + ": write failed: " + sf_error_number(closed));
    if (sink->stream()) {
        sink->finish();
        failIfWriteFailed();
    } else {
        // What the file holds, read back as any reader would.
        const int again = fcntl(output.descriptor(), F_DUPFD_CLOEXEC, 0);
        SF_INFO info{};
        SNDFILE* check = again < 0 || lseek(again, 0, SEEK_SET) != 0 ? nullptr : sf_open_fd(again, SFM_READ, &info, SF_TRUE);
        if (check == nullptr) {
            if (again >= 0) close(again);
            throw processingError(output.name() + ": write failed: what was written cannot be read back (" +
                                  sf_strerror(nullptr) + ")");
        }
        sf_close(check);
        if (info.frames != written) {
            throw processingError(output.name() + ": write failed: the file holds " + std::to_string(info.frames) +
                                  " frames where " + std::to_string(written) + " were written");
        }
        format = info.format;
    }
    output.commit();
}
