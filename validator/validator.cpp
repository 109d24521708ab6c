#include "validator/validator.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#if defined(__GLIBC__)
#include <dlfcn.h>
#include <gnu/libc-version.h>
#endif

#include "validator/call_log.h"
#include "validator/platform.h"
#include "validator/library_file.h"
#include "validator/validation_checks.h"

namespace fs = std::filesystem;

namespace {

constexpr double kLoadSeconds = 60.0;        // loading may take a while the first time
constexpr double kBaseCheckSeconds = 30.0;
constexpr double kSecondsPerInstance = 40.0;  // the instance-heavy checks make about this many more
constexpr std::size_t kOutputLines = 12;      // of a failing check's own output, without -v

struct Row {
    std::string check;
    Verdict result;
    std::string detail;
    std::vector<std::string> output;  // the plug-in's own, when shown
};

// What a library comes to.
enum class LibraryVerdict { none, pass, fail, notThisInterface, notLoadableHere, stopped };

std::string_view libraryVerdictName(LibraryVerdict verdict) {
    switch (verdict) {
        case LibraryVerdict::pass: return "PASS";
        case LibraryVerdict::fail: return "FAIL";
        case LibraryVerdict::notThisInterface: return "NOT THIS INTERFACE";
        case LibraryVerdict::notLoadableHere: return "NOT LOADABLE HERE";
        case LibraryVerdict::stopped: return "STOPPED";
        case LibraryVerdict::none: break;
    }
    return "";
}

struct LibraryResult {
    std::string path;
    LibraryVerdict verdict = LibraryVerdict::none;
    std::vector<Row> rows;
    double seconds = 0;
    int failures = 0, warnings = 0, notes = 0, passes = 0;
    bool stopped = false;
};

std::string temporaryName(const std::string& what) {
    static std::atomic<unsigned> serial{0};
    static const unsigned run = std::random_device{}();
    return (fs::temp_directory_path() / ("fxvalidate-" + std::to_string(run) + "-" + std::to_string(serial++) + "-" + what))
        .string();
}

std::vector<std::string> lines(const std::string& file) {
    std::vector<std::string> all;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        all.push_back(line);
    }
    return all;
}

// The malloc of glibc checks its heap on every call with its debugging
// library preloaded, so that a plug-in that corrupts it is caught in the act.
std::vector<std::pair<std::string, std::string>> heapChecking() {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    return {};
#endif
#endif
    // The debugging library of the C library this program runs on, from the
    // same folder: another architecture's (a multiarch machine has several)
    // would not load.
    Dl_info where{};
    if (dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &where) == 0 || where.dli_fname == nullptr) return {};
    const fs::path library = fs::path(where.dli_fname).parent_path() / "libc_malloc_debug.so.0";
    std::error_code error;
    if (fs::exists(library, error)) return {{"LD_PRELOAD", library.string()}, {"GLIBC_TUNABLES", "glibc.malloc.check=3"}};
#endif
    return {};
}

class LibraryValidation {
public:
    LibraryValidation(const ValidatorOptions& options, std::string path) : options(options) { result.path = std::move(path); }

    LibraryResult run() {
        const auto start = std::chrono::steady_clock::now();
        const LibraryFile file = inspectLibraryFile(result.path);
        std::error_code missing;
        if (!fs::exists(result.path, missing)) {
            add("load", Verdict::fail, "does not exist");
            result.verdict = LibraryVerdict::fail;
        } else if (file.kind == LibraryFile::Kind::other) {
            add("load", Verdict::fail, "not a library (no ELF or PE file)");
            result.verdict = LibraryVerdict::fail;
        } else if (!file.loadableHere()) {
            add("load", Verdict::fail, file.mismatch());
            result.verdict = LibraryVerdict::notLoadableHere;
        } else if (!file.exportsMain) {
            add("load", Verdict::note, "exports no 'main': not a library of interface version 1.0");
            result.verdict = LibraryVerdict::notThisInterface;
        } else {
            runChecks();
        }
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }

private:
    void add(const std::string& check, Verdict verdict, const std::string& detail,
             std::vector<std::string> output = {}) {
        result.rows.push_back({check, verdict, detail, std::move(output)});
        result.failures += verdict == Verdict::fail ? 1 : 0;
        result.warnings += verdict == Verdict::warn ? 1 : 0;
        result.notes += verdict == Verdict::note ? 1 : 0;
        result.passes += verdict == Verdict::pass ? 1 : 0;
    }

    void runChecks() {
        double instanceSeconds = 0;
        for (const CheckInfo& check : validationChecks()) {
            if (check.strictOnly && !options.strict) continue;
            if (std::find(options.skip.begin(), options.skip.end(), check.name) != options.skip.end()) continue;
            const int failuresBefore = result.failures;
            runOne(check, instanceSeconds);
            if (result.stopped) {
                result.verdict = LibraryVerdict::stopped;
                return;
            }
            if (check.gate && result.failures > failuresBefore) break;  // the rest would fail for the same reason
        }
        result.verdict = result.failures == 0 ? LibraryVerdict::pass : LibraryVerdict::fail;
    }

    void runOne(const CheckInfo& check, double& instanceSeconds) {
        const std::string name(check.name);
        const std::string resultFile = temporaryName(name + ".result");
        const std::string callLog = temporaryName(name + ".call");
        const std::string outputFile = temporaryName(name + ".output");
        std::vector<std::string> arguments{"validate-check", name, result.path, resultFile, "--call-log", callLog,
                                           "--seed", std::to_string(options.seed)};
        if (options.strict) arguments.emplace_back("--strict");
        if (instanceSeconds > 0) {
            arguments.emplace_back("--instance-seconds");
            arguments.push_back(std::to_string(instanceSeconds));
        }
        ChildLimits limits;
        limits.seconds = options.timeoutSeconds ? *options.timeoutSeconds
                         : check.name == "load" ? kLoadSeconds
                                                             : kBaseCheckSeconds + kSecondsPerInstance * instanceSeconds;
        limits.memoryBytes = options.memoryMiB > (UINT64_MAX >> 20) ? UINT64_MAX : options.memoryMiB << 20;
        limits.outputFile = outputFile;
        static const auto heapCheck = heapChecking();  // the same for every check
        limits.environment = heapCheck;
        limits.stopRequested = options.stopRequested;
        const ChildOutcome outcome = runSelf(arguments, limits);
        const std::string call = CallLog::read(callLog);
        std::vector<std::string> output = lines(outputFile);
        std::vector<std::string> findings = lines(resultFile);
        std::error_code ignored;
        for (const auto& file : {resultFile, callLog, outputFile}) fs::remove(file, ignored);
        if (outcome.stopped) {
            result.stopped = true;
            return;
        }

        std::vector<Row> rows;
        for (const std::string& line : findings) {
            const auto tab = line.find('\t');
            if (tab == std::string::npos) continue;
            const std::string tag = line.substr(0, tab);
            if (tag == Report::kTime) {
                instanceSeconds = std::strtod(line.c_str() + tab + 1, nullptr);
                continue;
            }
            Verdict verdict{};
            if (verdictNamed(tag, verdict)) rows.push_back({name, verdict, line.substr(tab + 1), {}});
        }
        const bool crashReported = std::any_of(rows.begin(), rows.end(), [](const Row& row) {
            return row.detail.rfind("crashed", 0) == 0;
        });
        if (!outcome.ran) {
            rows.push_back({name, Verdict::fail, "the check could not be started", {}});
        } else if (outcome.timedOut) {
            rows.push_back({name, Verdict::fail, "hung: " + outcome.how + ", in " + call, {}});
        } else if (!crashReported && (!outcome.exited || outcome.status != 0)) {
            rows.push_back({name, Verdict::fail, "crashed (" + outcome.how + "), in " + call, {}});
        }
        if (rows.empty()) rows.push_back({name, Verdict::fail, "the check reported nothing", {}});
        for (Row& row : rows) {
            if (check.crashIsNote && row.result == Verdict::fail) {
                row.result = Verdict::note;
                row.detail = "(later interface versions give these opcodes a meaning) " + row.detail;
            }
        }
        const bool failed = std::any_of(rows.begin(), rows.end(), [](const Row& row) { return row.result == Verdict::fail; });
        if (!output.empty() && (options.verbose || failed)) {
            if (!options.verbose && output.size() > kOutputLines) {
                const std::size_t more = output.size() - kOutputLines;
                output.resize(kOutputLines);
                output.push_back("(" + std::to_string(more) + " lines more; -v shows them)");
            }
            rows.back().output = std::move(output);
        }
        for (Row& row : rows) add(row.check, row.result, row.detail, std::move(row.output));
    }

    const ValidatorOptions& options;
    LibraryResult result;
};

// Library files of this interface in a folder and below: names of shared
// libraries, whose headers say they export `main`.
std::vector<std::string> scanFolder(const std::string& folder, std::size_t& skipped) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
         it != end; it.increment(error)) {
        if (error) break;
        if (!it->is_regular_file(error)) continue;
        const std::string name = it->path().filename().string();
        const bool library = name.size() > 3 && (name.find(".so") != std::string::npos || name.ends_with(".dll") ||
                                                 name.ends_with(".DLL"));
        if (!library) continue;
        const LibraryFile file = inspectLibraryFile(it->path().string());
        if (file.kind != LibraryFile::Kind::other && file.exportsMain) {
            found.push_back(it->path().string());
        } else {
            ++skipped;
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string table(const LibraryResult& library, bool strict) {
    std::ostringstream out;
    out << library.path << (strict ? " (strict)" : "") << "\n\n  " << padded("check", 15) << " " << padded("result", 6)
        << " detail\n";
    for (std::size_t i = 0; i < library.rows.size();) {
        // The same finding several times over is one row with a count.
        std::size_t same = 1;
        while (i + same < library.rows.size() && library.rows[i + same].check == library.rows[i].check &&
               library.rows[i + same].result == library.rows[i].result &&
               library.rows[i + same].detail == library.rows[i].detail) {
            ++same;
        }
        const Row& row = library.rows[i];
        out << "  " << padded(row.check, 15) << " " << padded(std::string(verdictName(row.result)), 6) << " " << row.detail
            << (same > 1 ? " (" + std::to_string(same) + " times)" : "") << "\n";
        for (const auto& line : row.output) out << "  " << std::string(15, ' ') << "        | " << line << "\n";
        i += same;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", library.seconds);
    out << "\n  verdict: " << libraryVerdictName(library.verdict) << " (" << library.passes << " passed, " << library.notes << " notes, "
        << library.warnings << " warnings, " << library.failures << " failed) in " << time << "\n\n";
    return out.str();
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char raw : text) {
        const auto c = static_cast<unsigned char>(raw);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string xml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? ' ' : c;
        }
    }
    return out;
}

bool writeJson(const std::string& file, const std::vector<LibraryResult>& results) {
    std::ofstream out(file);
    out << "[\n";
    for (std::size_t l = 0; l < results.size(); ++l) {
        const auto& r = results[l];
        out << "  {\"library\": " << jsonString(r.path) << ", \"verdict\": " << jsonString(std::string(libraryVerdictName(r.verdict)))
            << ", \"seconds\": " << r.seconds << ", \"failures\": " << r.failures << ", \"checks\": [";
        for (std::size_t i = 0; i < r.rows.size(); ++i) {
            out << (i == 0 ? "\n" : ",\n") << "    {\"check\": " << jsonString(r.rows[i].check)
                << ", \"result\": " << jsonString(std::string(verdictName(r.rows[i].result))) << ", \"detail\": " << jsonString(r.rows[i].detail)
                << "}";
        }
        out << "\n  ]}" << (l + 1 < results.size() ? "," : "") << "\n";
    }
    out << "]\n";
    return static_cast<bool>(out);
}

bool writeJunit(const std::string& file, const std::vector<LibraryResult>& results) {
    std::ofstream out(file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
    for (const auto& r : results) {
        out << "  <testsuite name=\"" << xml(r.path) << "\" tests=\"" << r.rows.size() << "\" failures=\"" << r.failures
            << "\" time=\"" << r.seconds << "\">\n";
        for (const auto& row : r.rows) {
            out << "    <testcase classname=\"" << xml(fs::path(r.path).filename().string()) << "\" name=\""
                << xml(row.check) << "\">";
            if (row.result == Verdict::fail) {
                out << "<failure message=\"" << xml(row.detail) << "\"/>";
            } else {
                out << "<system-out>" << xml(std::string(verdictName(row.result)) + ": " + row.detail) << "</system-out>";
            }
            out << "</testcase>\n";
        }
        out << "  </testsuite>\n";
    }
    out << "</testsuites>\n";
    return static_cast<bool>(out);
}

}  // namespace

std::string describeChecks() {
    std::string text;
    for (const CheckInfo& check : validationChecks()) {
        text += "  " + padded(std::string(check.name), 15) + " " + checkDemand(check) + "\n";
    }
    return text;
}

int runValidate(const ValidatorOptions& options) {
    for (const auto& name : options.skip) {
        const auto& all = validationChecks();
        if (std::none_of(all.begin(), all.end(), [&](const CheckInfo& c) { return name == c.name; })) {
            std::fprintf(stderr, "validate: --skip: '%s' is no check; the checks:\n%s", name.c_str(), describeChecks().c_str());
            return 1;
        }
    }
    std::vector<std::string> libraries;
    std::size_t skipped = 0;
    bool explicitFiles = false;
    for (const auto& path : options.paths) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            const auto found = scanFolder(path, skipped);
            libraries.insert(libraries.end(), found.begin(), found.end());
        } else {
            libraries.push_back(path);
            explicitFiles = true;
        }
    }
    // The same file under two names (a link) once.
    std::vector<std::string> unique;
    std::vector<std::string> seen;
    for (const auto& library : libraries) {
        std::error_code error;
        const std::string identity = fs::weakly_canonical(library, error).string();
        const std::string key = error ? library : identity;
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        unique.push_back(library);
    }
    libraries = std::move(unique);
    if (libraries.empty()) {
        std::fprintf(stderr, "validate: no library of this interface found (%zu libraries without 'main' skipped)\n", skipped);
        return skipped > 0 || explicitFiles ? 2 : 1;
    }

    std::vector<LibraryResult> results(libraries.size());
    std::atomic<std::size_t> next{0};
    std::mutex printing;
    auto work = [&] {
        for (std::size_t i = next++; i < libraries.size(); i = next++) {
            if (options.stopRequested && options.stopRequested()) return;
            results[i] = LibraryValidation(options, libraries[i]).run();
            const std::lock_guard<std::mutex> lock(printing);
            std::fputs(table(results[i], options.strict).c_str(), stdout);
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> threads;
    const unsigned jobs = std::max(1u, std::min<unsigned>(options.jobs, static_cast<unsigned>(libraries.size())));
    for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(work);
    work();
    for (auto& thread : threads) thread.join();

    const bool stopped = options.stopRequested && options.stopRequested();
    int status = 0;
    std::size_t passed = 0, failed = 0, other = 0;
    for (const auto& r : results) {
        if (r.verdict == LibraryVerdict::pass) {
            ++passed;
        } else if (r.verdict == LibraryVerdict::fail || r.verdict == LibraryVerdict::notLoadableHere) {
            ++failed;
            status = 2;
        } else if (r.verdict != LibraryVerdict::none && r.verdict != LibraryVerdict::stopped) {
            ++other;
            if (std::find(options.paths.begin(), options.paths.end(), r.path) != options.paths.end()) status = 2;
        }
    }
    if (libraries.size() > 1) {
        // The library column as wide as its longest name, so the columns stay aligned.
        std::size_t width = std::string("library").size();
        for (const auto& r : results) width = std::max(width, r.path.size());
        std::printf("summary\n\n  %s %s %s %s\n", padded("library", width).c_str(), padded("verdict", 18).c_str(),
                    padded("failures", 8).c_str(), "time");
        for (const auto& r : results) {
            if (r.verdict == LibraryVerdict::none) continue;
            char time[32];
            std::snprintf(time, sizeof time, "%.1f s", r.seconds);
            std::printf("  %s %s %s %s\n", padded(r.path, width).c_str(),
                        padded(std::string(libraryVerdictName(r.verdict)), 18).c_str(),
                        padded(std::to_string(r.failures), 8).c_str(), time);
        }
        std::printf("\n  %zu libraries: %zu passed, %zu failed", libraries.size(), passed, failed);
        if (other > 0) std::printf(", %zu of another interface version", other);
        std::printf("\n");
    }
    if (skipped > 0) {
        std::printf("  %zu other libraries skipped: they export no 'main', so they are not of interface version 1.0\n",
                    skipped);
    }
    std::fflush(stdout);
    if (!options.jsonFile.empty() && !writeJson(options.jsonFile, results)) {
        std::fprintf(stderr, "validate: '%s' cannot be written\n", options.jsonFile.c_str());
        status = 2;
    }
    if (!options.junitFile.empty() && !writeJunit(options.junitFile, results)) {
        std::fprintf(stderr, "validate: '%s' cannot be written\n", options.junitFile.c_str());
        status = 2;
    }
    if (stopped) {
        std::fprintf(stderr, "validate: interrupted\n");
        return 130;
    }
    return status;
}
