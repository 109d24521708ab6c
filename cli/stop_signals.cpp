#include "cli/stop_signals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

namespace stopsignals {
namespace {

std::atomic<int> first{0};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void onSignal(int number) {
    int expected = 0;
    if (!first.compare_exchange_strong(expected, number)) _exit(128 + expected);
}

}  // namespace

void install() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals) sigaddset(&action.sa_mask, number);
    action.sa_flags = 0;  // no SA_RESTART
    for (int number : kSignals) sigaction(number, &action, nullptr);
}

int received() { return first.load(); }

int exitStatus() { return 128 + first.load(); }

const char* describe() {
    switch (first.load()) {
        case SIGINT: return "interrupted";
        case SIGTERM: return "terminated";
        case SIGHUP: return "hung up";
        case SIGPIPE: return "output pipe closed";
        default: return "stopped";
    }
}

}  // namespace stopsignals
