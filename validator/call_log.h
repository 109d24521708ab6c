// The call a check child is about to make into the plug-in ("processReplacing
// of 37 frames", "dispatcher opcode 12, value 1"), kept in a small file the
// parent maps too: when the child crashes, hangs or is killed, the parent
// still knows which call it was. Writing it costs no system call.
#pragma once

#include <string>

class CallLog {
public:
    // Shares the log through `path` (created or truncated); without it, or
    // when that fails, the log stays in this process.
    static void open(const std::string& path);
    // The call about to be made, printf-style; cut to the log's size.
    static void about(const char* format, ...)
#if defined(__MINGW32__)
        __attribute__((format(gnu_printf, 1, 2)))  // MinGW's C99 printf family, not msvcrt's
#elif defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
    // The last call logged; safe in a signal handler.
    static const char* current();
    // What a child left in the log file at `path`.
    static std::string read(const std::string& path);
};
