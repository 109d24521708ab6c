#include "validator/child_process.h"

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#endif

namespace {

#if defined(_WIN32)
// One argument quoted for CreateProcess's command line.
std::string quoted(const std::string& argument) {
    std::string result = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        result.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, '\\');
    return result + "\"";
}
#endif

}  // namespace

ChildOutcome runSelf(const std::vector<std::string>& arguments, int timeoutSeconds) {
    ChildOutcome outcome;
#if defined(_WIN32)
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return outcome;
    std::string command = quoted(self);
    for (const auto& argument : arguments) command += " " + quoted(argument);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // No error dialog for a crash in the child.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return outcome;
    }
    outcome.ran = true;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        outcome.timedOut = true;
        outcome.how = "did not finish within " + std::to_string(timeoutSeconds) + " s";
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        // Status codes from 0xC0000000 on are exceptions (an access violation
        // is 0xC0000005), not exit statuses.
        outcome.exited = code < 0xC0000000u;
        outcome.status = static_cast<int>(code);
        char text[64];
        wsprintfA(text, outcome.exited ? "exit status %lu" : "crashed (exception 0x%08lX)", code);
        outcome.how = text;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
#else
    std::vector<std::string> argv{"/proc/self/exe"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return outcome;
    if (child == 0) {
        execv("/proc/self/exe", pointers.data());
        _exit(127);
    }
    outcome.ran = true;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            outcome.timedOut = true;
            outcome.how = "did not finish within " + std::to_string(timeoutSeconds) + " s";
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.status = WEXITSTATUS(status);
        outcome.how = "exit status " + std::to_string(outcome.status);
    } else if (WIFSIGNALED(status)) {
        outcome.how = std::string("crashed (") + strsignal(WTERMSIG(status)) + ")";
    }
#endif
    return outcome;
}
