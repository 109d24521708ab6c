#include "cli/commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "cli/audio_file.h"
#include "cli/demo_signal.h"
#include "cli/progress.h"
#include "cli/renderer.h"
#include "cli/settings.h"
#include "cli/tool_error.h"

std::atomic<bool> interrupted{false};

namespace fs = std::filesystem;

namespace {

constexpr const char* kToolName = "fxrender";
#if defined(_WIN32)
constexpr const char* kPluginFile = "tempo_flanger.dll";
#else
constexpr const char* kPluginFile = "tempo_flanger.so";
#endif

std::shared_ptr<PluginLibrary> openPlugin(const std::string& path) {
    try {
        auto library = PluginLibrary::open(path);
        PluginInstance::create(library);  // refuses records that are not of the interface
        return library;
    } catch (const PluginError& error) {
        throw processingError(std::string("plug-in ") + error.what());
    }
}

std::unique_ptr<PluginInstance> newInstance(const std::shared_ptr<PluginLibrary>& library, const Settings& settings) {
    try {
        auto instance = PluginInstance::create(library);
        instance->open();
        applySettings(*instance, settings);
        return instance;
    } catch (const PluginError& error) {
        throw processingError(std::string("plug-in ") + error.what());
    }
}

std::optional<double> parseTail(const std::string& text) {
    if (text == "auto") return std::nullopt;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0.0 && seconds <= 3600.0)) {
        throw usageError("--tail: '" + text + "' is not a number of seconds from 0 to 3600, or 'auto'");
    }
    return seconds;
}

RenderOptions renderOptions(const RenderOptionsText& text) {
    if (text.blockSize < 1 || text.blockSize > 65536) {
        throw usageError("--block: " + std::to_string(text.blockSize) + " is not a block size from 1 to 65536");
    }
    return RenderOptions{text.blockSize, parseTail(text.tail)};
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

std::string decibels(float peak) {
    if (peak <= 0.0f) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    return text;
}

void summarize(const CommonOptions& common, const std::string& output, const RenderResult& result, int sampleRate,
               double elapsed, int format) {
    if (common.quiet) return;
    const double seconds = static_cast<double>(result.outputFrames) / sampleRate;
    std::string line = std::string(kToolName) + ": wrote '" + output + "': ";
    char text[128];
    std::snprintf(text, sizeof text, "%.2f s of audio in %.2f s (%.0fx realtime), peak %s", seconds, elapsed,
                  elapsed > 0 ? seconds / elapsed : 0.0, decibels(result.peak).c_str());
    line += text;
    if (isIntegerPcm(format) && result.clipped > 0) {
        line += ", " + std::to_string(result.clipped) + " samples clipped (--float writes them unclipped)";
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

void warnMono(const std::string& output, const RenderResult& result) {
    if (result.unequalMono) {
        std::fprintf(stderr, "%s: warning: '%s': the plug-in's left and right outputs differ for mono input; "
                             "wrote their mix\n", kToolName, output.c_str());
    }
}

struct FileJob {
    std::string input;
    std::string output;
};

// Renders one file; returns the sample rate and format for the summary.
RenderResult renderOne(const std::shared_ptr<PluginLibrary>& library, const Settings& settings,
                       const RenderOptions& options, bool wantFloat, const FileJob& job, ProgressLine* progress,
                       int& sampleRate, int& format) {
    AudioReader reader(job.input);
    if (reader.channels() < 1 || reader.channels() > 2) {
        throw processingError("'" + job.input + "': has " + std::to_string(reader.channels()) +
                              " channels; only mono and stereo files can be rendered");
    }
    sampleRate = reader.sampleRate();
    format = outputFormatFor(job.output, reader.format(), wantFloat);
    auto instance = newInstance(library, settings);
    AudioWriter writer(job.output, reader.channels(), reader.sampleRate(), format);
    RenderOptions fileOptions = options;
    fileOptions.integerOutput = isIntegerPcm(format);
    const RenderResult result = renderAudio(
        *instance, reader.channels(), reader.sampleRate(),
        [&](float* frames, std::int64_t count) { return reader.read(frames, count); }, writer, fileOptions, progress,
        &interrupted);
    writer.commit();
    return result;
}

}  // namespace

std::string defaultPluginPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) return (self.parent_path() / kPluginFile).string();
    return kPluginFile;
}

int runRender(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& text,
              const std::vector<std::string>& inputs, const std::string& output) {
    const RenderOptions options = renderOptions(text);
    std::error_code error;
    const bool toFolder = fs::is_directory(output, error);
    if (inputs.size() > 1 && !toFolder) {
        throw usageError("-o: '" + output + "' must be an existing folder when rendering several inputs");
    }
    std::vector<FileJob> jobs;
    for (const auto& input : inputs) {
        const std::string target = toFolder ? (fs::path(output) / fs::path(input).filename()).string() : output;
        if (samePath(input, target)) throw usageError("'" + target + "': output would overwrite its input");
        for (const auto& job : jobs) {
            if (samePath(job.output, target)) throw usageError("'" + target + "': two inputs would write it");
        }
        jobs.push_back({input, target});
    }
    for (const auto& job : jobs) AudioReader check(job.input);  // every input readable before any work
    const auto library = openPlugin(common.plugin);
    const Settings settings = resolveSettings(library, session.program, session.sets);

    std::uint64_t totalFrames = 0;
    for (const auto& job : jobs) totalFrames += static_cast<std::uint64_t>(AudioReader(job.input).frames());
    ProgressLine progress(!common.quiet && isatty(STDERR_FILENO) != 0,
                          jobs.size() == 1 ? jobs[0].output : std::to_string(jobs.size()) + " files", totalFrames);

    unsigned workers = text.jobs != 0 ? text.jobs : std::max(1u, std::thread::hardware_concurrency());
    workers = std::min<unsigned>(workers, static_cast<unsigned>(jobs.size()));
    std::atomic<std::size_t> next{0};
    std::mutex reportMutex;
    int status = kExitSuccess;
    auto work = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            try {
                const auto start = std::chrono::steady_clock::now();
                int sampleRate = 0, format = 0;
                const RenderResult result =
                    renderOne(library, settings, options, text.wantFloat, jobs[i], &progress, sampleRate, format);
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                const std::lock_guard<std::mutex> lock(reportMutex);
                progress.finish();
                warnMono(jobs[i].output, result);
                summarize(common, jobs[i].output, result, sampleRate, elapsed, format);
            } catch (const ToolError& failure) {
                const std::lock_guard<std::mutex> lock(reportMutex);
                progress.finish();
                std::fprintf(stderr, "%s: error: %s\n", kToolName, failure.what());
                status = std::max<int>(status, failure.status());
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (auto& thread : threads) thread.join();
    return status;
}

int runDemo(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& text,
            const std::string& output) {
    RenderOptions options = renderOptions(text);
    const int format = outputFormatFor(output, SF_FORMAT_PCM_16, text.wantFloat);
    options.integerOutput = isIntegerPcm(format);
    const auto library = openPlugin(common.plugin);
    const Settings settings = resolveSettings(library, session.program, session.sets);
    const std::vector<float> signal = makeDemoSignal();
    const auto frames = static_cast<std::int64_t>(signal.size() / 2);
    std::int64_t position = 0;
    ProgressLine progress(!common.quiet && isatty(STDERR_FILENO) != 0, output, static_cast<std::uint64_t>(frames));
    const auto start = std::chrono::steady_clock::now();
    auto instance = newInstance(library, settings);
    AudioWriter writer(output, 2, kDemoSampleRate, format);
    const RenderResult result = renderAudio(
        *instance, 2, kDemoSampleRate,
        [&](float* out, std::int64_t count) {
            const std::int64_t n = std::min(count, frames - position);
            std::copy_n(signal.begin() + position * 2, n * 2, out);
            position += n;
            return n;
        },
        writer, options, &progress, &interrupted);
    writer.commit();
    progress.finish();
    summarize(common, output, result, kDemoSampleRate,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), format);
    return kExitSuccess;
}

int runInfo(const CommonOptions& common, const SessionOptions& session) {
    const auto library = openPlugin(common.plugin);
    const Settings settings = resolveSettings(library, session.program, session.sets);
    auto instance = newInstance(library, settings);
    const EffectRecord* record = instance->record();
    char id[5];
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((static_cast<std::uint32_t>(record->uniqueId) >> (24 - 8 * i)) & 0xFF);
        id[i] = std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    }
    id[4] = '\0';
    std::printf("plug-in      %s\n", library->path().c_str());
    std::printf("identifier   %s (0x%08X), version %d\n", id, static_cast<unsigned>(record->uniqueId),
                static_cast<int>(record->version));
    std::printf("channels     %d in, %d out\n", static_cast<int>(record->numInputs),
                static_cast<int>(record->numOutputs));
    std::string flags;
    const struct {
        std::int32_t bit;
        const char* name;
    } names[] = {{kFlagHasClip, "clip"}, {kFlagHasVu, "vu"}, {kFlagCanMono, "mono"},
                 {kFlagCanReplacing, "replacing"}, {kFlagProgramChunks, "chunks"}};
    for (const auto& flag : names) {
        if ((record->flags & flag.bit) != 0) flags += std::string(flags.empty() ? "" : ", ") + flag.name;
    }
    std::printf("flags        %d (%s)\n", static_cast<int>(record->flags), flags.empty() ? "none" : flags.c_str());
    std::printf("programs     %d\nparameters   %d\n\n", static_cast<int>(record->numPrograms),
                static_cast<int>(record->numParams));
    std::printf("  #  %-14s %-10s %-9s %s\n", "name", "value", "display", "label");
    for (std::int32_t i = 0; i < instance->numParams(); ++i) {
        std::printf("%3d  %-14s %-10.6f %-9s %s\n", static_cast<int>(i), instance->parameterName(i).c_str(),
                    static_cast<double>(instance->getParameter(i)), instance->parameterDisplay(i).c_str(),
                    instance->parameterLabel(i).c_str());
    }
    const std::int32_t current = instance->getProgram();
    std::printf("\nprograms\n");
    auto lister = PluginInstance::create(library);
    for (std::int32_t p = 0; p < instance->numPrograms(); ++p) {
        lister->setProgram(p);
        std::printf("%3d%s %s\n", static_cast<int>(p), p == current ? "*" : " ", lister->programName().c_str());
    }
    (void)common;
    return kExitSuccess;
}
