#include "validator/call_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kLogBytes = 512;

char local[kLogBytes] = "nothing yet";
char* entry = local;

}  // namespace

void CallLog::open(const std::string& path) {
#if defined(_WIN32)
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, kLogBytes, nullptr);
    if (mapping == nullptr) return;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kLogBytes);
    if (view == nullptr) return;
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (ftruncate(fd, kLogBytes) != 0) {
        close(fd);
        return;
    }
    void* view = mmap(nullptr, kLogBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (view == MAP_FAILED) return;
#endif
    entry = static_cast<char*>(view);
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
