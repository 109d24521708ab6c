#include "validator/crash_report.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "validator/call_log.h"
#include "validator/guarded_memory.h"

#include "validator/platform.h"

namespace {

constexpr int kCrashStatus = 3;
long long output = -1;
std::atomic<bool> reporting{false};  // one report, whichever thread crashes first

std::size_t append(char* out, std::size_t size, std::size_t at, const char* text) {
    while (*text != '\0' && at + 1 < size) out[at++] = *text++;
    out[at] = '\0';
    return at;
}

std::size_t appendHex(char* out, std::size_t size, std::size_t at, std::uintptr_t value) {
    char digits[2 + 2 * sizeof value + 1] = "0x";
    for (std::size_t i = 0; i < 2 * sizeof value; ++i) {
        digits[2 + i] = "0123456789abcdef"[(value >> (4 * (2 * sizeof value - 1 - i))) & 0xF];
    }
    digits[2 + 2 * sizeof value] = '\0';
    return append(out, size, at, digits);
}

// "FAIL<TAB>crashed (what) at/into where, in the call\n"
void report(const char* what, const void* address, bool haveAddress) {
    if (reporting.exchange(true)) platform::waitForever();  // another thread reports and ends the process
    char line[1024];
    std::size_t n = append(line, sizeof line, 0, "FAIL\tcrashed (");
    n = append(line, sizeof line, n, what);
    n = append(line, sizeof line, n, ")");
    if (haveAddress) {
        char where[160];
        if (GuardedRegion::describe(address, where, sizeof where)) {
            n = append(line, sizeof line, n, ": an access ");
            n = append(line, sizeof line, n, where);
        } else {
            n = append(line, sizeof line, n, " at ");
            n = appendHex(line, sizeof line, n, reinterpret_cast<std::uintptr_t>(address));
        }
    }
    n = append(line, sizeof line, n, ", in ");
    n = append(line, sizeof line, n, CallLog::current());
    n = append(line, sizeof line, n, "\n");
    platform::writeUnbuffered(output, line, n);
}

}  // namespace

void CrashReport::install(long long descriptor) {
    output = descriptor;
    platform::onCrash(report, kCrashStatus);
}
