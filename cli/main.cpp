// fxrender: renders audio files through a plug-in library of the 1.0
// interface, loading it through its exported `main` as a host does.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/nearest_word.h"
#include "cli/stop_signals.h"
#include "cli/tool_error.h"
#include "cli/validate_command.h"

namespace {

constexpr const char* kVersion = "fxrender " TF_VERSION;
constexpr const char* kCommands[] = {"demo", "render", "info", "validate"};

constexpr const char* kMainExamples = R"(
Examples:
  fxrender demo                              hear the flanger on a built-in signal
  fxrender render song.wav -o flanged.wav
  fxrender render *.wav -o rendered/         several files at once, one per core
  fxrender info                              parameters, displays and programs
  fxrender validate --strict some.so         is a plug-in library safe to load?
  fxrender COMMAND --help                    each command's options

Exit status: 0 success, 1 a usage error, 2 a processing or file error,
128 + the signal's number when stopped by one (130 for Ctrl-C).
)";

constexpr const char* kRenderExamples = R"(
Examples:
  fxrender render song.wav -o flanged.wav
  fxrender render in.flac -o out.flac --set tempo=128 --set waveform=triangle
  fxrender render --set mod=off --set depth=40 in.wav -o out.wav --tail 2
  fxrender render *.wav -o rendered/ -j 4          a batch, four files at once
  fxrender render --from-list files.txt -o rendered/
  fxrender render take.wav -o take.flac --bits 24
  sox in.mp3 -t wav - | fxrender render - -o - | aplay
  fxrender render in48k.wav -o out.wav --set tempo=120 --true-tempo

Settings: the program first, then each --set in the plug-in's parameter
order, as a host restores a project. VALUE is what the parameter displays
("tempo=128", "resolution=4", "waveform=sawtooth", "mod=off", "boost=12.04")
or a normalized host value "norm:X" with X from 0 to 1.

The output's extension (or --type) chooses its format: wav, aiff, flac,
ogg (Vorbis), opus, mp3 where libsndfile writes it, caf, w64, rf64, au. The
input's encoding is kept where the format holds it, else the nearest one.
An existing output is replaced only when the new one is complete, keeping
its permissions; a symbolic link is written through.
)";

constexpr const char* kDemoExamples = R"(
Examples:
  fxrender demo                              writes tempo-flanger-demo.wav
  fxrender demo -o demo.flac --set waveform=triangle
  fxrender demo -o - | aplay

Without --program, the demo sets Tempo 120 and Resolution 8 (one sweep every
4 seconds) unless --set gives them.
)";

constexpr const char* kInfoExamples = R"(
Examples:
  fxrender info
  fxrender info --set tempo=128 --program 3
  fxrender info other.so
)";

int usage(const std::string& message, const std::string& command) {
    messages::error(message + " (see fxrender " + (command.empty() ? "" : command + " ") + "--help)");
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    // The checks the validator runs in children end on signals as a plain
    // program does; everything else stops cleanly on them.
    if (argc < 2 || std::strcmp(argv[1], "validate-check") != 0) stopsignals::install();

    if (argc > 1 && argv[1][0] != '-' && std::strcmp(argv[1], "validate-check") != 0 &&
        std::none_of(std::begin(kCommands), std::end(kCommands),
                     [&](const char* command) { return std::strcmp(argv[1], command) == 0; })) {
        const std::string nearest = nearestWord(argv[1], {std::begin(kCommands), std::end(kCommands)}, 2);
        return usage(std::string("'") + argv[1] + "' is not a command" +
                         (nearest.empty() ? "" : "; did you mean '" + nearest + "'?") +
                         " Commands: demo, render, info, validate",
                     "");
    }

    CLI::App app{"Renders audio through a plug-in library, as a host application does.", "fxrender"};
    app.footer(kMainExamples);
    app.set_version_flag("--version", kVersion);
    app.require_subcommand(1);

    CommonOptions common;
    common.plugin = defaultPluginPath();
    SessionOptions session;
    RenderOptionsText render;
    std::vector<std::string> inputs;
    std::optional<std::string> listFile;
    std::string output;
    std::string demoOutput = "tempo-flanger-demo.wav";
    int bits = 0;

    auto addCommon = [&](CLI::App* command) {
        command->set_version_flag("--version", kVersion);
        command->add_option("--plugin", common.plugin, "plug-in library file")->capture_default_str();
        command->add_flag("-q,--quiet", common.quiet, "no progress line and no summary (warnings still show)");
    };
    auto addSession = [&](CLI::App* command) {
        command->add_option("--program", session.program, "program number or name, selected first");
        command->add_option("--set", session.sets, "NAME=VALUE, by display value or norm:X; repeatable")
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->type_name("NAME=VALUE");
    };
    auto addRender = [&](CLI::App* command) {
        command->add_option("--block", render.blockSize, "frames per processing call")->capture_default_str();
        command->add_option("--tail", render.tail,
                            "seconds of silence after the input; auto: until below -120 dBFS, at most 10 s")
            ->capture_default_str();
        command->add_flag("--float", render.encoding.floatingPoint, "write 32-bit float samples");
        command->add_option("--bits", bits, "write 16-, 24- or 32-bit integer samples")
            ->check(CLI::IsMember({16, 24, 32}));
        command->add_option("--type", render.encoding.type,
                            "output format by extension (wav, flac, ogg, ...); standard output is wav otherwise");
        command->add_flag("--true-tempo", render.trueTempo,
                          "at sample rates other than 44100 Hz, set Tempo so that the LFO keeps the asked BPM");
    };

    CLI::App* demo = app.add_subcommand("demo", "render the built-in demo signal through the plug-in");
    demo->footer(kDemoExamples);
    demo->add_option("-o,--output", demoOutput, "output file, or - for standard output")->capture_default_str();
    addCommon(demo);
    addSession(demo);
    addRender(demo);

    CLI::App* renderCommand = app.add_subcommand("render", "render audio files through the plug-in");
    renderCommand->footer(kRenderExamples);
    renderCommand->add_option("inputs", inputs, "input files (WAV, AIFF, FLAC, Ogg, MP3, ...); - for standard input");
    renderCommand->add_option("-o,--output", output,
                              "output file; an existing folder for several inputs (for one, end its name with /); - for standard output");
    renderCommand->add_option("--from-list", listFile, "a file naming one input per line; - for standard input");
    renderCommand->add_option("-j,--jobs", render.jobs, "files rendered at once (default: one per core)");
    addCommon(renderCommand);
    addSession(renderCommand);
    addRender(renderCommand);

    CLI::App* info = app.add_subcommand("info", "show the plug-in's record, parameters and programs");
    info->footer(kInfoExamples);
    info->add_option("plugin", common.plugin, "plug-in library file");
    addCommon(info);
    addSession(info);

    ValidatorOptions validation;
    double validateTimeout = 0;
    std::uint64_t validateMemory = validation.memoryMiB;
    CLI::App* validate = app.add_subcommand("validate", "check plug-in libraries of this interface; 0 when all pass");
    addValidateOptions(*validate, validation, validateTimeout, validateMemory);
    validate->set_version_flag("--version", kVersion);

    // One check in a child process, started by validate.
    CheckRequest checkRequest;
    CLI::App* validateCheck = addValidateCheckCommand(app, checkRequest);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::string command;
        for (const CLI::App* sub : app.get_subcommands()) command = sub->get_name();
        return usage(error.what(), command);
    }
    if (bits != 0) render.encoding.bits = bits;

    try {
        if (demo->parsed()) return runDemo(common, session, render, demoOutput);
        if (renderCommand->parsed()) {
            if (output.empty()) return usage("render: -o/--output is required", "render");
            return runRender(common, session, render, inputs, listFile, output);
        }
        if (info->parsed()) return runInfo(common, session);
        if (validate->parsed()) {
            if (validation.paths.empty()) validation.paths.push_back(defaultPluginPath());
            validation.memoryMiB = validateMemory;
            if (validateTimeout > 0) validation.timeoutSeconds = validateTimeout;
            validation.stopRequested = [] { return stopsignals::received() != 0; };
            const int status = runValidate(validation);
            return stopsignals::received() != 0 ? stopsignals::exitStatus() : status;
        }
        if (validateCheck->parsed()) return runValidationCheck(checkRequest);
    } catch (const ToolError& error) {
        if (stopsignals::received() != 0) {
            messages::plain(stopsignals::describe());
            return stopsignals::exitStatus();
        }
        messages::error(error.what());
        return error.status();
    } catch (const std::exception& error) {
        messages::error(error.what());
        return kExitProcessing;
    }
    return kExitUsage;
}
