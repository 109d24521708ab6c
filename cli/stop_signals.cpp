#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace stopsignals {
namespace {

std::atomic<int> first{0};

// The first signal is recorded; a second ends the process at once. A
// closed pipe is an exception: every write after the first into it raises
// SIGPIPE again (and fails with EPIPE, which the writer handles), so it
// only ever counts once and never ends the process by itself.
void record(int number) {
    int expected = 0;
    if (!first.compare_exchange_strong(expected, number)) {
#if !defined(_WIN32)
        if (number == SIGPIPE) return;
#endif
#if defined(_WIN32)
        ExitProcess(static_cast<UINT>(128 + expected));
#else
        _exit(128 + expected);
#endif
    }
}

#if defined(_WIN32)
BOOL WINAPI onConsoleEvent(DWORD event) {
    record(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
void onSignal(int number) { record(number); }
#endif

}  // namespace

void install() {
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals) sigaddset(&action.sa_mask, number);
    action.sa_flags = 0;  // no SA_RESTART
    for (int number : kSignals) sigaction(number, &action, nullptr);
#endif
}

int received() { return first.load(); }

int exitStatus() { return 128 + first.load(); }

const char* describe() {
    switch (first.load()) {
        case SIGINT: return "interrupted";
        case SIGTERM: return "terminated";
#if !defined(_WIN32)
        case SIGHUP: return "hung up";
        case SIGPIPE: return "output pipe closed";
#endif
        default: return "stopped";
    }
}

}  // namespace stopsignals
