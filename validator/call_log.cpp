#include "validator/call_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "validator/platform.h"

namespace {

constexpr std::size_t kLogBytes = 512;

char local[kLogBytes] = "nothing yet";
char* entry = local;

}  // namespace

void CallLog::open(const std::string& path) {
    char* view = platform::mapSharedFile(path, kLogBytes);
    if (view == nullptr) return;
    entry = view;
    std::memcpy(entry, local, kLogBytes);
}

void CallLog::about(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(entry, kLogBytes, format, arguments);
    va_end(arguments);
}

const char* CallLog::current() { return entry; }

std::string CallLog::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(kLogBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(kLogBytes));
    text.resize(static_cast<std::size_t>(in.gcount()));
    const auto end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}
