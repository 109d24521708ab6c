#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr auto kQuietPeriod = std::chrono::milliseconds(1000);
constexpr std::size_t kDefaultWidth = 80;
constexpr const char* kEllipsis = "...";

std::size_t terminalWidth() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultWidth;
}

}  // namespace

ProgressLine::ProgressLine(bool enabled, std::string label, std::uint64_t totalFrames)
    : enabled(enabled), label(std::move(label)), total(totalFrames), start(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() { finish(); }

std::string ProgressLine::shortened(const std::string& text, std::size_t width) {
    if (text.size() <= width) return text;
    const std::size_t ellipsis = std::char_traits<char>::length(kEllipsis);
    if (width <= ellipsis) return text.substr(text.size() - width);
    const std::size_t kept = width - ellipsis;
    const std::size_t head = kept / 2;
    return text.substr(0, head) + kEllipsis + text.substr(text.size() - (kept - head));
}

void ProgressLine::advance(std::uint64_t frames) {
    if (!enabled) return;
    const std::lock_guard<std::mutex> lock(mutex);
    done += frames;
    if (total == 0 || std::chrono::steady_clock::now() - start < kQuietPeriod) return;
    const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
    if (percent == shownPercent) return;
    shownPercent = percent;
    // The cursor must stay on the line: the last column is left free, as a
    // terminal wraps after writing into it.
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ": %3d%%", percent);
    const std::size_t room = terminalWidth() - 1;
    const std::string suffixText(suffix);
    std::string line = room > suffixText.size() ? shortened(label, room - suffixText.size()) + suffixText
                                                 : shortened(suffixText.substr(2), room);
    const std::size_t width = line.size();
    if (width < drawnWidth) line.append(drawnWidth - width, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    drawnWidth = width;
}

void ProgressLine::clear() {
    if (drawnWidth == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnWidth), "");
    drawnWidth = 0;
    shownPercent = -1;
}

void ProgressLine::finish() {
    const std::lock_guard<std::mutex> lock(mutex);
    clear();
    std::fflush(stderr);
}

void ProgressLine::printAbove(const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex);
    clear();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}
