#include "cli/messages.h"

#include <cstdio>
#include <mutex>

#include "cli/progress.h"

namespace messages {
namespace {

constexpr const char* kToolName = "fxrender";

std::mutex mutex;
ProgressLine* progress = nullptr;

void print(const char* level, const std::string& text) {
    const std::string line = std::string(kToolName) + ": " + level + text;
    const std::lock_guard<std::mutex> lock(mutex);
    if (progress != nullptr) {
        progress->printAbove(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

void setProgressLine(ProgressLine* line) {
    const std::lock_guard<std::mutex> lock(mutex);
    progress = line;
}

void error(const std::string& text) { print("error: ", text); }
void warning(const std::string& text) { print("warning: ", text); }
void note(const std::string& text) { print("note: ", text); }
void plain(const std::string& text) { print("", text); }

}  // namespace messages
