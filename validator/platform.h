// Everything of the validator that differs between POSIX and Windows, in
// one place: running this program again as a child within limits
// (processes; rlimits or a job object), pages of memory and their
// protection (guard pages), a crash handler (signals, or the unhandled
// exception filter), and unbuffered writes to a file that a crashing
// process can still make. The rest of the validator is written once on
// top of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---- child processes -------------------------------------------------------

struct ChildLimits {
    double seconds = 60.0;          // then it is killed
    std::uint64_t memoryBytes = 0;  // address space (Windows: committed memory); 0 for none
    std::string outputFile;         // its stdout and stderr; empty: the null device
    std::vector<std::pair<std::string, std::string>> environment;  // added to ours
    std::function<bool()> stopRequested;  // polled: true kills the child
};

struct ChildOutcome {
    bool ran = false;          // the child could be started
    bool exited = false;       // it ended by returning from main or calling exit
    int status = 0;            // its exit status when it exited
    bool timedOut = false;     // it was stopped after the time limit
    bool stopped = false;      // it was stopped because the run was
    std::string how;           // what happened, for a report: "exit status 3", "killed by signal 11"
};

// Runs this program again with `arguments`, so that a check that crashes,
// hangs or eats memory takes only the child with it: within the limits,
// with its standard output and error gathered into a file, stopped at once
// when the run is.
ChildOutcome runSelf(const std::vector<std::string>& arguments, const ChildLimits& limits);

namespace platform {

// ---- pages -------------------------------------------------------------------

std::size_t pageSize();
// Fresh readable and writable pages, `bytes` a multiple of the page size;
// null when there are none.
unsigned char* mapPages(std::size_t bytes);
void unmapPages(unsigned char* pages, std::size_t bytes);
enum class Access { none, read, readWrite };
void protectPages(unsigned char* pages, std::size_t bytes, Access access);
// `bytes` of the file at `path` (created or truncated), shared with every
// process that maps it; null when that fails.
char* mapSharedFile(const std::string& path, std::size_t bytes);

// ---- files a crashing process writes -----------------------------------------

// A file for writing line by line with no buffering (created or
// truncated); its value is a descriptor, or on Windows a HANDLE's.
long long openUnbuffered(const std::string& path);
// Writes it all; safe in a crash handler.
void writeUnbuffered(long long file, const char* data, std::size_t bytes);

// ---- crashes -----------------------------------------------------------------

// What a crash handler is told: what happened ("SIGSEGV, writing", "access
// violation, reading") and, for a bad memory access, the address.
using CrashHandler = void (*)(const char* what, const void* address, bool haveAddress);
// Calls `handler` on a crash, on a stack of its own, then ends the process
// with `status`. No dialog box on Windows.
void onCrash(CrashHandler handler, int status);
// For a second thread that crashes while the first reports: waits to be
// ended with the process.
[[noreturn]] void waitForever();

}  // namespace platform
