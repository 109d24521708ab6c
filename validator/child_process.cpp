#include "validator/child_process.h"

#include <chrono>
#include <limits>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#endif

namespace {

constexpr auto kPoll = std::chrono::milliseconds(2);

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers reserve terabytes of address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

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

ChildOutcome runSelf(const std::vector<std::string>& arguments, const ChildLimits& limits) {
    ChildOutcome outcome;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(limits.seconds));
#if defined(_WIN32)
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return outcome;
    std::string command = quoted(self);
    for (const auto& argument : arguments) command += " " + quoted(argument);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileA(limits.outputFile.empty() ? "NUL" : limits.outputFile.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    {
        // Its environment is ours with the additions, set around its start
        // (one child at a time, as several threads may start children).
        static std::mutex environmentMutex;
        const std::lock_guard<std::mutex> lock(environmentMutex);
        for (const auto& [name, value] : limits.environment) SetEnvironmentVariableA(name.c_str(), value.c_str());
        started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &process);
        for (const auto& entry : limits.environment) SetEnvironmentVariableA(entry.first.c_str(), nullptr);
    }
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (!started) return outcome;
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        // A limit beyond what SIZE_T holds cannot bind a process of this width.
        if (limits.memoryBytes > 0 && limits.memoryBytes <= std::numeric_limits<SIZE_T>::max()) {
            info.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
            info.ProcessMemoryLimit = static_cast<SIZE_T>(limits.memoryBytes);
        }
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
        AssignProcessToJobObject(job, process.hProcess);
    }
    ResumeThread(process.hThread);
    outcome.ran = true;
    for (;;) {
        if (WaitForSingleObject(process.hProcess, 2) != WAIT_TIMEOUT) break;
        const bool stop = limits.stopRequested && limits.stopRequested();
        if (stop || std::chrono::steady_clock::now() > deadline) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
            outcome.stopped = stop;
            outcome.timedOut = !stop;
            outcome.how = stop ? "stopped" : "did not finish within " + std::to_string(static_cast<int>(limits.seconds)) + " s";
            break;
        }
    }
    if (!outcome.timedOut && !outcome.stopped) {
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
    if (job != nullptr) CloseHandle(job);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
#else
    std::vector<std::string> argv{"/proc/self/exe"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    // Prepared before fork: the child only calls what is safe after it.
    std::vector<std::string> environmentText;
    for (const auto& [name, value] : limits.environment) environmentText.push_back(name + "=" + value);
    const pid_t child = fork();
    if (child < 0) return outcome;
    if (child == 0) {
        setpgid(0, 0);  // a group of its own, killed as one
        const int output = open(limits.outputFile.empty() ? "/dev/null" : limits.outputFile.c_str(),
                                O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nothing = open("/dev/null", O_RDONLY);
        if (output >= 0) {
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
        }
        if (nothing >= 0) dup2(nothing, STDIN_FILENO);
        // A limit beyond what rlim_t holds (4 GiB and more in a 32-bit
        // process) cannot bind: truncated, it would be a tiny one.
        if (limits.memoryBytes > 0 && limits.memoryBytes <= std::numeric_limits<rlim_t>::max() && !kSanitized) {
            const rlimit memory{static_cast<rlim_t>(limits.memoryBytes), static_cast<rlim_t>(limits.memoryBytes)};
            setrlimit(RLIMIT_AS, &memory);
        }
        for (auto& entry : environmentText) putenv(entry.data());
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        execv("/proc/self/exe", pointers.data());
        _exit(127);
    }
    setpgid(child, child);
    outcome.ran = true;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        const bool stop = limits.stopRequested && limits.stopRequested();
        if (stop || std::chrono::steady_clock::now() > deadline) {
            kill(-child, SIGKILL);
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            outcome.stopped = stop;
            outcome.timedOut = !stop;
            outcome.how = stop ? "stopped" : "did not finish within " + std::to_string(static_cast<int>(limits.seconds)) + " s";
            return outcome;
        }
        std::this_thread::sleep_for(kPoll);
    }
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.status = WEXITSTATUS(status);
        outcome.how = "exit status " + std::to_string(outcome.status);
    } else if (WIFSIGNALED(status)) {
        outcome.how = std::string("killed by ") + strsignal(WTERMSIG(status));
    }
#endif
    return outcome;
}
