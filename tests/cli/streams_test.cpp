// fxrender with inputs and outputs that are not files: standard input and
// output, named pipes and the shell's /dev/fd/N, opened once and written as
// the render goes, in bounded memory; and samples that are not numbers.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "tool_harness.h"

namespace {

class Streams : public ToolTest {};

// A WAV header for a stream of unknown length, as sox writes one to a pipe:
// 32-bit float, stereo, 44.1 kHz.
std::string streamHeader() {
    std::string header = "RIFF\x24\xF0\xFF\x7FWAVEfmt ";
    const unsigned char format[] = {16, 0, 0, 0, 3, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x20, 0x62, 0x05, 0, 8, 0, 32, 0};
    header.append(reinterpret_cast<const char*>(format), sizeof format);
    header += "data";
    header.append("\x00\xF0\xFF\x7F", 4);
    return header;
}

void writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n <= 0) return;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

// The tool started with its standard input and output on pipes of the test.
struct Piped {
    pid_t pid = -1;
    int in = -1;   // the tool's standard input
    int out = -1;  // its standard output

    Piped(const std::string& tool, const std::vector<std::string>& arguments, const std::string& capture) {
        int toTool[2], fromTool[2];
        if (pipe(toTool) != 0 || pipe(fromTool) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(toTool[0], STDIN_FILENO);
            dup2(fromTool[1], STDOUT_FILENO);
            const int err = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, STDERR_FILENO);
            for (int fd : {toTool[0], toTool[1], fromTool[0], fromTool[1], err}) close(fd);
            signal(SIGPIPE, SIG_DFL);
            std::vector<std::string> words{tool};
            words.insert(words.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (auto& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(toTool[0]);
        close(fromTool[1]);
        in = toTool[1];
        out = fromTool[0];
    }

    // Waits for the end: the exit status, and the largest resident memory in KiB.
    std::pair<int, long> finish() {
        if (in >= 0) close(in);
        if (out >= 0) close(out);
        in = out = -1;
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
    }
};

TEST_F(Streams, OutputGoesOutAsTheInputComesInBoundedMemory) {
    Piped piped(tool, {"render", "-", "-o", "-", "-q"}, at("said"));
    ASSERT_GT(piped.pid, 0);
    // A tenth of a second of input (within what a pipe holds), then nothing
    // more until output has come back.
    const std::string header = streamHeader();
    writeAll(piped.in, header.data(), header.size());
    std::vector<float> first(2 * 4410, 0.25f);
    writeAll(piped.in, first.data(), first.size() * sizeof(float));
    std::vector<char> received(1 << 16);
    std::size_t got = 0;
    while (got < 4096) {
        const ssize_t n = read(piped.out, received.data(), received.size());
        ASSERT_GT(n, 0) << "the tool waited for the end of its input: " << readFile(at("said"));
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(std::string(received.data(), 4), "RIFF");
    // Ten minutes more from another thread, read as they come out.
    std::thread feeder([&] {
        std::vector<float> noise(2 * 4410);
        for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<float>((i * 7919) % 2001) / 4000.0f - 0.25f;
        for (int block = 0; block < 6000; ++block) writeAll(piped.in, noise.data(), noise.size() * sizeof(float));
        close(piped.in);
        piped.in = -1;
    });
    for (ssize_t n; (n = read(piped.out, received.data(), received.size())) > 0;) got += static_cast<std::size_t>(n);
    feeder.join();
    const auto [status, memoryKiB] = piped.finish();
    EXPECT_EQ(status, 0) << readFile(at("said"));
    const std::size_t frames = 4410 + 6000 * 4410;
    EXPECT_GE(got, header.size() + frames * 8) << "not all of the ten minutes came out";
    std::printf("ten minutes through a pipe: %zu bytes out, at most %ld KiB resident\n", got, memoryKiB);
    EXPECT_LT(memoryKiB, 64 * 1024) << "memory grew with the length";
}

TEST_F(Streams, NamedPipesAndTheShellsDevFdAreOpenedOnceAndStreamed) {
    if (std::system("command -v bash >/dev/null 2>&1") != 0) GTEST_SKIP() << "bash is not installed";
    writeAudio(at("in.wav"), noise(2, 30000, 44100, 30));
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at("file.wav") + " -q").status, 0);
    const auto expected = readAudio(at("file.wav")).samples;

    // Input from a named pipe, output into one with a reader waiting.
    ASSERT_EQ(mkfifo(at("in.fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(at("out.fifo").c_str(), 0600), 0);
    // Afterwards whoever still waits for the other end of a pipe gets one
    // (a FIFO opened for reading and writing never waits), so that a failed
    // render leaves no one waiting.
    const std::string pipes = "cat " + at("in.wav") + " > " + at("in.fifo") + " & cat " + at("out.fifo") + " > " +
                              at("fromfifo.wav") + " & " + tool + " render " + at("in.fifo") + " -o " +
                              at("out.fifo") + " -q; status=$?; exec 3<>" + at("in.fifo") + " 4<>" + at("out.fifo") +
                              "; exec 3>&- 4>&-; wait; exit $status";
    ASSERT_EQ(std::system(pipes.c_str()), 0);
    EXPECT_EQ(readAudio(at("fromfifo.wav")).samples, expected);

    // The shell's process substitution, in and out.
    const std::string substituted = "bash -c '" + tool + " render <(cat " + at("in.wav") + ") -o >(cat > " +
                                    at("fromfd.wav") + ") -q; status=$?; sleep 0.2; exit $status'";
    ASSERT_EQ(std::system(substituted.c_str()), 0);
    EXPECT_EQ(readAudio(at("fromfd.wav")).samples, expected);

    // What cannot be written front to back is refused before rendering.
    const std::string aiff = tool + " render " + at("in.wav") + " -o - --type aiff > /dev/null 2> " + at("said");
    EXPECT_EQ(WEXITSTATUS(std::system(aiff.c_str())), 2);
    EXPECT_NE(readFile(at("said")).find("cannot be written as a stream"), std::string::npos) << readFile(at("said"));
}

TEST_F(Streams, NonFiniteSamplesAreSilenceAndCounted) {
    Audio input = noise(2, 1000, 44100, 31);
    input.samples[10] = std::numeric_limits<float>::quiet_NaN();
    input.samples[501] = std::numeric_limits<float>::infinity();
    input.samples[1700] = -std::numeric_limits<float>::infinity();
    writeAudio(at("in.wav"), input);
    Outcome result = run("render " + at("in.wav") + " -o " + at("out.wav") + " --float -q");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("3 samples were not finite numbers; fed as silence"), std::string::npos)
        << result.output;
    for (float sample : readAudio(at("out.wav")).samples) ASSERT_TRUE(std::isfinite(sample));
    // The same as silence there.
    input.samples[10] = input.samples[501] = input.samples[1700] = 0.0f;
    writeAudio(at("silenced.wav"), input);
    ASSERT_EQ(run("render " + at("silenced.wav") + " -o " + at("silenced-out.wav") + " --float -q").status, 0);
    EXPECT_EQ(readAudio(at("out.wav")).samples, readAudio(at("silenced-out.wav")).samples);

    // A plug-in that gives NaN.
    result = run("render " + at("in.wav") + " -o " + at("nan.wav") + " --float -q --tail 0 --plugin " + NAN_OUTPUT_PLUGIN);
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("that were not finite numbers; written as silence"), std::string::npos)
        << result.output;
    for (float sample : readAudio(at("nan.wav")).samples) ASSERT_TRUE(std::isfinite(sample));
}

}  // namespace
