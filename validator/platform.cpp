#include "validator/platform.h"

#include <chrono>
#include <limits>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
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

namespace platform {

std::size_t pageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

unsigned char* mapPages(std::size_t bytes) {
#if defined(_WIN32)
    return static_cast<unsigned char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
    void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : static_cast<unsigned char*>(pages);
#endif
}

void unmapPages(unsigned char* pages, [[maybe_unused]] std::size_t bytes) {
#if defined(_WIN32)
    VirtualFree(pages, 0, MEM_RELEASE);
#else
    munmap(pages, bytes);
#endif
}

void protectPages(unsigned char* pages, std::size_t bytes, Access access) {
#if defined(_WIN32)
    DWORD old = 0;
    const DWORD protection = access == Access::none ? PAGE_NOACCESS : access == Access::read ? PAGE_READONLY : PAGE_READWRITE;
    VirtualProtect(pages, bytes, protection, &old);
#else
    const int protection = access == Access::none ? PROT_NONE : access == Access::read ? PROT_READ : PROT_READ | PROT_WRITE;
    mprotect(pages, bytes, protection);
#endif
}

char* mapSharedFile(const std::string& path, std::size_t bytes) {
#if defined(_WIN32)
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(bytes), nullptr);
    if (mapping == nullptr) return nullptr;
    return static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes));
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return nullptr;
    }
    void* view = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return view == MAP_FAILED ? nullptr : static_cast<char*>(view);
#endif
}

long long openUnbuffered(const std::string& path) {
#if defined(_WIN32)
    return static_cast<long long>(reinterpret_cast<std::intptr_t>(
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
#endif
}

void writeUnbuffered(long long file, const char* data, std::size_t bytes) {
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file)), data, static_cast<DWORD>(bytes), &written,
              nullptr);
#else
    while (bytes > 0) {
        const ssize_t n = ::write(static_cast<int>(file), data, bytes);
        if (n <= 0) return;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
#endif
}

namespace {

CrashHandler crashHandler = nullptr;
int crashStatus = 1;

#if defined(_WIN32)
LONG WINAPI onException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    switch (record->ExceptionCode) {
        case EXCEPTION_ACCESS_VIOLATION:
            crashHandler(record->ExceptionInformation[0] == 1 ? "access violation, writing" : "access violation, reading",
                         reinterpret_cast<const void*>(record->ExceptionInformation[1]), true);
            break;
        case EXCEPTION_STACK_OVERFLOW: crashHandler("stack overflow", nullptr, false); break;
        case EXCEPTION_ILLEGAL_INSTRUCTION: crashHandler("illegal instruction", nullptr, false); break;
        case EXCEPTION_INT_DIVIDE_BY_ZERO: crashHandler("division by zero", nullptr, false); break;
        default: crashHandler("exception", nullptr, false); break;
    }
    ExitProcess(static_cast<UINT>(crashStatus));
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
    crashHandler(what, fault ? info->si_addr : nullptr, fault);
    _exit(crashStatus);
}
#endif

}  // namespace

void onCrash(CrashHandler handler, int status) {
    crashHandler = handler;
    crashStatus = status;
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

void waitForever() {
    for (;;) {
#if defined(_WIN32)
        Sleep(INFINITE);
#else
        pause();
#endif
    }
}

}  // namespace platform
