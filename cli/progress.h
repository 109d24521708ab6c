// A progress line on stderr: shown only when enabled (a terminal and not
// --quiet) and only once the work has taken about a second, redrawn only when
// the whole percentage changes, never wider than the terminal (a long name
// is shortened in the middle). Several render threads may report into one.
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
    // Prints a line of text in its place; the next advance draws it again.
    void printAbove(const std::string& text);

    // `text` in at most `width` characters: the middle replaced by "..."
    // when it is longer.
    static std::string shortened(const std::string& text, std::size_t width);

private:
    void clear();

    bool enabled;
    std::string label;
    std::uint64_t total;
    std::uint64_t done = 0;
    int shownPercent = -1;
    std::size_t drawnWidth = 0;
    std::chrono::steady_clock::time_point start;
    std::mutex mutex;
};
