// Running the built fxrender as a user does, on files made for the test:
// a fresh folder per test, audio written and read through libsndfile, and
// the tool started with any arguments, standard input and output, as
// another user, or stopped by a signal.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;     // exit status, or -1 when it did not exit
    std::string output;  // stderr (and stdout unless it was sent elsewhere)
};

struct Audio {
    int channels = 0;
    int sampleRate = 0;
    int format = 0;
    std::vector<float> samples;  // interleaved
};

void writeAudio(const fs::path& path, const Audio& audio);
Audio readAudio(const fs::path& path);
// Uniform noise in -0.5..0.5, 32-bit float WAV.
Audio noise(int channels, int frames, int sampleRate, unsigned seed);
std::string readFile(const fs::path& path);

// How to start the tool.
struct Launch {
    std::vector<std::string> arguments;
    std::optional<std::string> standardInput;   // a file, else nothing (/dev/null)
    std::optional<std::string> standardOutput;  // a file, else captured with stderr
    bool asUnprivilegedUser = false;            // as 'nobody' when running as root
    bool closedStandardOutput = false;          // stdout a pipe nobody reads
};

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string at(const std::string& name) const { return (folder / name).string(); }
    // The file names in a folder of the test (hidden ones included).
    std::set<std::string> filesIn(const fs::path& where) const;
    std::set<std::string> filesIn() const { return filesIn(folder); }

    // Runs the tool with arguments split on spaces (no quoting).
    Outcome run(const std::string& arguments) const;
    Outcome run(const Launch& launch) const;
    // Starts the tool, waits until `appears` exists in `watch` (a partial
    // output), sends `signal`, and waits for the end.
    Outcome interrupt(const Launch& launch, const fs::path& watch, const std::string& prefix, int signal) const;

    // The tool and the plug-ins copied into the test's folder, where an
    // unprivileged user may run them too.
    std::string tool;
    std::string flanger;
    fs::path folder;
};

// The uid that Launch::asUnprivilegedUser runs as (the current one when not root).
uid_t unprivilegedUid();
