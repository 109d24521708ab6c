#include "validator/checks/report.h"

#include <algorithm>
#include <cstdio>

#include "validator/platform.h"

namespace {

constexpr std::string_view kNames[] = {"PASS", "NOTE", "WARN", "FAIL"};

}  // namespace

std::string_view verdictName(Verdict verdict) { return kNames[static_cast<int>(verdict)]; }

bool verdictNamed(std::string_view name, Verdict& verdict) {
    for (int v = 0; v < 4; ++v) {
        if (kNames[v] == name) {
            verdict = static_cast<Verdict>(v);
            return true;
        }
    }
    return false;
}

Report::Report(const std::string& path) : file(platform::openUnbuffered(path)) {}

void Report::add(Verdict verdict, const std::string& detail) { write(verdictName(verdict), detail); }

void Report::time(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    write(kTime, text);
}

void Report::write(std::string_view tag, const std::string& detail) {
    std::string line = std::string(tag) + "\t" + detail;
    std::replace(line.begin() + static_cast<std::ptrdiff_t>(tag.size()) + 1, line.end(), '\n', ' ');
    line += "\n";
    platform::writeUnbuffered(file, line.data(), line.size());
}
