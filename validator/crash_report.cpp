#include "validator/crash_report.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "validator/call_log.h"
#include "validator/guarded_memory.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

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
    if (reporting.exchange(true)) {
        // Another thread is reporting and will end the process.
#if defined(_WIN32)
        Sleep(INFINITE);
#else
        for (;;) pause();
#endif
    }
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
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(output)), line, static_cast<DWORD>(n), &written, nullptr);
#else
    const ssize_t ignored = write(static_cast<int>(output), line, n);
    (void)ignored;
#endif
}

#if defined(_WIN32)
LONG WINAPI onException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    switch (record->ExceptionCode) {
        case EXCEPTION_ACCESS_VIOLATION:
            report(record->ExceptionInformation[0] == 1 ? "access violation, writing" : "access violation, reading",
                   reinterpret_cast<const void*>(record->ExceptionInformation[1]), true);
            break;
        case EXCEPTION_STACK_OVERFLOW: report("stack overflow", nullptr, false); break;
        case EXCEPTION_ILLEGAL_INSTRUCTION: report("illegal instruction", nullptr, false); break;
        case EXCEPTION_INT_DIVIDE_BY_ZERO: report("division by zero", nullptr, false); break;
        default: report("exception", nullptr, false); break;
    }
    ExitProcess(kCrashStatus);
}
#else
void onSignal(int number, siginfo_t* info, void* context) {
    const char* what = number == SIGSEGV   ? "SIGSEGV"
                       : number == SIGBUS  ? "SIGBUS"
                       : number == SIGILL  ? "SIGILL"
                       : number == SIGFPE  ? "SIGFPE"
                       : number == SIGABRT ? "SIGABRT: an abort, such as glibc's on a corrupted heap"
                                           : "signal";
#if defined(__x86_64__) && defined(REG_ERR)
    if (number == SIGSEGV && context != nullptr) {
        const auto* uc = static_cast<const ucontext_t*>(context);
        what = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? "SIGSEGV, writing" : "SIGSEGV, reading";
    }
#else
    (void)context;
#endif
    const bool fault = number == SIGSEGV || number == SIGBUS;
    report(what, fault ? info->si_addr : nullptr, fault);
    _exit(kCrashStatus);
}
#endif

}  // namespace

void CrashReport::install(long long descriptor) {
    output = descriptor;
#if defined(_WIN32)
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(onException);
#else
    static char alternateStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = onSignal;
    action.sa_flags = static_cast<int>(SA_SIGINFO | SA_ONSTACK | SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    for (int number : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(number, &action, nullptr);
#endif
}
