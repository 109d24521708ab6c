#include "cli/progress.h"

#include <cstdio>

namespace {

constexpr auto kQuietPeriod = std::chrono::milliseconds(1000);

}  // namespace

ProgressLine::ProgressLine(bool enabled, std::string label, std::uint64_t totalFrames)
    : enabled(enabled), label(std::move(label)), total(totalFrames), start(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::advance(std::uint64_t frames) {
    if (!enabled) return;
    const std::lock_guard<std::mutex> lock(mutex);
    done += frames;
    if (total == 0 || std::chrono::steady_clock::now() - start < kQuietPeriod) return;
    const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
    if (percent == shownPercent) return;
    shownPercent = percent;
    drawn = true;
    std::fprintf(stderr, "\r%s: %3d%%", label.c_str(), percent);
    std::fflush(stderr);
}

void ProgressLine::finish() {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!drawn) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(label.size()) + 7, "");
    std::fflush(stderr);
    drawn = false;
}
