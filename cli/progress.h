// A progress line on stderr: shown only when enabled (a terminal and not
// --quiet) and only once the work has taken about a second, redrawn only when
// the whole percentage changes. Several render threads may report into one.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class ProgressLine {
public:
    ProgressLine(bool enabled, std::string label, std::uint64_t totalFrames);
    ~ProgressLine();

    void advance(std::uint64_t frames);
    // Clears the line, if one was drawn.
    void finish();

private:
    bool enabled;
    std::string label;
    std::uint64_t total;
    std::uint64_t done = 0;
    int shownPercent = -1;
    bool drawn = false;
    std::chrono::steady_clock::time_point start;
    std::mutex mutex;
};
