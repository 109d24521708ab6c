#include "cli/commands.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

#include "cli/audio_file.h"
#include "cli/demo_signal.h"
#include "cli/encoding.h"
#include "cli/messages.h"
#include "cli/output_file.h"
#include "cli/progress.h"
#include "cli/render_session.h"
#include "cli/stop_signals.h"
#include "cli/tool_error.h"

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr const char* kPluginFile = "tempo_flanger.dll";
#else
constexpr const char* kPluginFile = "tempo_flanger.so";
#endif

// The demo's own settings, unless the user gives a program or sets the
// parameter: one LFO cycle every 4 s (8 beats at 120 BPM), so that its 12 s
// hold three whole sweeps.
const std::vector<std::string> kDemoSettings = {"tempo=120", "resolution=8"};

bool progressWanted(const CommonOptions& common) { return !common.quiet && isatty(STDERR_FILENO) != 0; }

// A name that compares equal for the same file, whether it exists or not.
std::string identity(const std::string& path) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

std::vector<std::string> readList(const std::string& listFile) {
    std::vector<std::string> names;
    auto take = [&](std::istream& in) {
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) names.push_back(line);
        }
    };
    if (listFile == "-") {
        take(std::cin);
    } else {
        std::ifstream in(listFile);
        if (!in) throw usageError("--from-list: '" + listFile + "': cannot be read");
        take(in);
    }
    return names;
}

struct FileJob {
    std::string input;
    std::string output;
    std::uint64_t frames = 0;
};

// The output of each input: the -o file itself, or a file of the input's
// name in the -o folder (with the --type's extension, when one is given).
class OutputPlan {
public:
    OutputPlan(const std::string& output, std::size_t inputs, const std::string& type) : output(output), type(type) {
        if (OutputFile::isStandardOutput(output)) {
            if (inputs > 1) throw usageError("-o -: standard output takes one input");
            return;
        }
        std::error_code error;
        const bool endsWithSlash = !output.empty() && output.back() == '/';
        const bool isFolder = fs::is_directory(output, error);
        if (endsWithSlash && !isFolder) {
            throw usageError("-o: '" + output + "' " +
                             (fs::exists(fs::path(output).parent_path(), error) ? "is a file, not a folder"
                                                                                : "is not an existing folder"));
        }
        toFolder = isFolder;
        if (inputs > 1 && !toFolder) {
            throw usageError("-o: '" + output + "' must be an existing folder when rendering several inputs");
        }
    }

    bool intoFolder() const { return toFolder; }

    std::string target(const std::string& input) const {
        if (!toFolder) return output;
        if (input == "-") throw usageError("-o: standard input has no name to give a file in '" + output + "'");
        fs::path name = fs::path(input).filename();
        if (!type.empty()) name.replace_extension(type);
        return (fs::path(output) / name).string();
    }

private:
    std::string output;
    std::string type;
    bool toFolder = false;
};

}  // namespace

std::string defaultPluginPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return kPluginFile;
    // Beside the tool in a build folder; installed, in the plug-in folder of
    // the same prefix (bin/fxrender, lib/tempo-flanger/).
    const fs::path beside = self.parent_path() / kPluginFile;
    const fs::path installed = self.parent_path().parent_path() / "lib" / "tempo-flanger" / kPluginFile;
    if (!fs::exists(beside, error) && fs::exists(installed, error)) return installed.lexically_normal().string();
    return beside.string();
}

int runRender(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& text,
              std::vector<std::string> inputs, const std::optional<std::string>& listFile, const std::string& output) {
    if (listFile) {
        const auto listed = readList(*listFile);
        inputs.insert(inputs.end(), listed.begin(), listed.end());
    }
    if (inputs.empty()) throw usageError("render: name at least one input file (or --from-list FILE)");
    const auto fromStandardInput = std::count(inputs.begin(), inputs.end(), std::string("-"));
    if (fromStandardInput > 1 || (fromStandardInput == 1 && listFile && *listFile == "-")) {
        throw usageError("render: standard input can be read only once");
    }
    const OutputPlan plan(output, inputs.size(), text.encoding.type);
    if (!plan.intoFolder()) {
        chooseOutputFormat(output, 0, text.encoding);  // an unknown type or an encoding it cannot hold
    }
    RenderSession renderer(common, session, text);

    // Every input checked before anything is rendered; each bad one reported.
    // An input that is a stream (or standard input) is opened once, here,
    // and kept for its render.
    std::vector<FileJob> jobs;
    std::vector<std::unique_ptr<AudioReader>> streams;  // by job, for the inputs that are streams
    std::vector<std::pair<FileIdentity, std::string>> inputFiles;
    std::unordered_set<std::string> outputNames;
    std::size_t failed = 0;
    // First what each input is (files are closed again, streams kept), so
    // that every output can be checked against every input.
    struct Opened {
        std::string name;
        int channels = 0;
        int format = 0;
        std::int64_t frames = 0;
        std::unique_ptr<AudioReader> stream;
    };
    std::vector<std::optional<Opened>> opened;
    for (const auto& input : inputs) {
        try {
            auto reader = std::make_unique<AudioReader>(input);
            if (reader->identity()) inputFiles.emplace_back(*reader->identity(), reader->name());
            Opened what{reader->name(), reader->channels(), reader->format(), reader->frames(), nullptr};
            // Standard input is opened once whatever it is (its position is shared).
            if (reader->isStream() || input == "-") what.stream = std::move(reader);
            opened.emplace_back(std::move(what));
        } catch (const ToolError& error) {
            opened.emplace_back(std::nullopt);
            if (stopsignals::received() != 0) break;
            messages::error(error.what());
            ++failed;
        }
    }
    for (std::size_t i = 0; i < opened.size(); ++i) {
        if (!opened[i]) continue;
        try {
            Opened& input = *opened[i];
            FileJob job{inputs[i], plan.target(inputs[i]), 0};
            if (input.channels < 1 || input.channels > 2) {
                throw processingError(input.name + ": has " + std::to_string(input.channels) +
                                      " channels; only mono and stereo files can be rendered");
            }
            // The same file by any name (a hard or symbolic link, another
            // path, standard output sent into it) is never written over.
            const std::string shown = OutputFile::isStandardOutput(job.output) ? "standard output" : "'" + job.output + "'";
            if (const auto output = OutputFile::identityOf(job.output)) {
                for (const auto& [file, name] : inputFiles) {
                    if (file == *output) throw processingError(shown + ": is the input " + name + "; the output would overwrite it");
                }
            }
            if (!OutputFile::isStandardOutput(job.output)) {
                if (!outputNames.insert(identity(job.output)).second) {
                    throw processingError("'" + job.output + "': another input is rendered into it too");
                }
                OutputFile::check(job.output);
            }
            try {
                const int format = renderer.outputFormat(job.output, input.format);
                if (OutputFile::isStream(job.output) && !isStreamable(format)) {
                    throw processingError(shown + ": " + describeFormat(format) + " cannot be written as a stream; write " +
                                          streamableTypes() + " there (--type)");
                }
            } catch (const ToolError& error) {
                throw processingError(error.what());
            }
            job.frames = static_cast<std::uint64_t>(std::max<std::int64_t>(0, input.frames));
            streams.push_back(std::move(input.stream));
            jobs.push_back(std::move(job));
        } catch (const ToolError& error) {
            if (error.status() == kExitUsage) throw;
            if (stopsignals::received() != 0) break;
            messages::error(error.what());
            ++failed;
        }
    }
    opened.clear();

    std::uint64_t totalFrames = 0;
    for (const auto& job : jobs) totalFrames += job.frames;
    ProgressLine progress(progressWanted(common),
                          jobs.size() == 1 ? jobs[0].output : std::to_string(jobs.size()) + " files", totalFrames);
    messages::setProgressLine(&progress);

    unsigned workers = text.jobs != 0 ? text.jobs : std::max(1u, std::thread::hardware_concurrency());
    workers = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(jobs.size())));
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> rendered{0}, failures{failed};
    auto work = [&] {
        for (std::size_t i = next++; i < jobs.size() && stopsignals::received() == 0; i = next++) {
            try {
                std::unique_ptr<AudioReader> reader = std::move(streams[i]);
                if (reader == nullptr) reader = std::make_unique<AudioReader>(jobs[i].input);
                AudioReader* from = reader.get();
                RenderSource source{from->name(), from->channels(), from->sampleRate(), from->format(),
                                    from->strings(), from->frames(),
                                    [from](float* frames, std::int64_t count) { return from->read(frames, count); },
                                    from};
                renderer.render(source, jobs[i].output, &progress);
                ++rendered;
            } catch (const ToolError& error) {
                if (stopsignals::received() != 0) return;
                messages::error(error.what());
                ++failures;
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (auto& thread : threads) thread.join();
    messages::setProgressLine(nullptr);
    progress.finish();

    if (stopsignals::received() != 0) {
        messages::plain(stopsignals::describe());
        return stopsignals::exitStatus();
    }
    if (inputs.size() > 1 && (!common.quiet || failures > 0)) {
        messages::plain(std::to_string(rendered.load()) + " rendered, " + std::to_string(failures.load()) + " failed");
    }
    return failures > 0 ? kExitProcessing : kExitSuccess;
}

int runDemo(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& text,
            const std::string& output) {
    if (!OutputFile::isStandardOutput(output)) chooseOutputFormat(output, SF_FORMAT_PCM_16, text.encoding);
    RenderSession renderer(common, session, text, kDemoSettings);
    const std::vector<float> signal = makeDemoSignal();
    const auto frames = static_cast<std::int64_t>(signal.size() / 2);
    std::int64_t position = 0;
    ProgressLine progress(progressWanted(common), output, static_cast<std::uint64_t>(frames));
    messages::setProgressLine(&progress);
    RenderSource source{"the demo signal", 2, kDemoSampleRate, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {}, frames,
                        [&](float* out, std::int64_t count) {
                            const std::int64_t n = std::min(count, frames - position);
                            std::copy_n(signal.begin() + position * 2, n * 2, out);
                            position += n;
                            return n;
                        },
                        nullptr};
    try {
        renderer.render(source, output, &progress);
    } catch (const ToolError&) {
        messages::setProgressLine(nullptr);
        if (stopsignals::received() == 0) throw;
        messages::plain(stopsignals::describe());
        return stopsignals::exitStatus();
    }
    messages::setProgressLine(nullptr);
    if (!common.quiet && renderer.lfo() && renderer.lfo()->running()) {
        const auto& lfo = *renderer.lfo();
        const double cycle = 60.0 * lfo.beats() / lfo.bpm();
        char line[200];
        std::snprintf(line, sizeof line,
                      "demo: %.0f BPM, %u beats per LFO cycle: the flanger sweeps every %.1f s, %.1f times in %.0f s "
                      "(--set tempo=..., --set resolution=... or --program change it)",
                      lfo.bpm(), lfo.beats(), cycle, kDemoSeconds / cycle, kDemoSeconds);
        messages::plain(line);
    }
    return kExitSuccess;
}

int runInfo(const CommonOptions& common, const SessionOptions& session) {
    std::shared_ptr<PluginLibrary> library;
    std::unique_ptr<PluginInstance> instance;
    try {
        library = PluginLibrary::open(common.plugin);
        const Settings settings = resolveSettings(library, session.program, session.sets);
        instance = PluginInstance::create(library);
        instance->open();
        applySettings(*instance, settings);
    } catch (const PluginError& error) {
        throw processingError(std::string("plug-in ") + error.what());
    }
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
    return kExitSuccess;
}
