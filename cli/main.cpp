// fxrender: renders audio files through a plug-in library of the 1.0
// interface, loading it through its exported `main` as a host does.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>

#include "cli/commands.h"
#include "cli/tool_error.h"
#include "cli/validate_command.h"
#include "cli/validator.h"

namespace {

constexpr const char* kVersion = "fxrender 1.0.0";

void onSignal(int) { interrupted = true; }

constexpr const char* kExamples = R"(
Examples:
  fxrender demo                              hear the flanger on a built-in signal
  fxrender render song.wav -o flanged.wav
  fxrender render in.flac -o out.flac --set tempo=128 --set waveform=triangle
  fxrender render *.wav -o rendered/         several files at once, one per core
  fxrender render in.wav -o out.wav --set mod=off --set depth=40 --tail 2
  fxrender info                              parameters, displays and programs
  fxrender validate --strict some.so other.so  is a plug-in library safe to load?

Parameter values are what the host would display ("tempo=128",
"resolution=4", "waveform=sawtooth", "mod=off") or normalized host values
written as norm:X with X from 0 to 1 ("tempo=norm:0.5").

Exit status: 0 success, 1 a usage error, 2 a processing or file error.
)";

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    CLI::App app{"Renders audio through a plug-in library, as a host application does."};
    app.footer(kExamples);
    app.set_version_flag("--version", kVersion);
    app.require_subcommand(1);

    CommonOptions common;
    common.plugin = defaultPluginPath();
    SessionOptions session;
    RenderOptionsText render;
    std::vector<std::string> inputs;
    std::string output;
    std::string demoOutput = "tempo-flanger-demo.wav";

    auto addCommon = [&](CLI::App* command) {
        command->add_option("--plugin", common.plugin, "plug-in library file")->capture_default_str();
        command->add_flag("-q,--quiet", common.quiet, "no progress line and no summary");
    };
    auto addSession = [&](CLI::App* command) {
        command->add_option("--program", session.program, "program number or name, applied first");
        command->add_option("--set", session.sets, "NAME=VALUE, by display value or norm:X; repeatable")
            ->take_all();
    };
    auto addRender = [&](CLI::App* command) {
        command->add_option("--block", render.blockSize, "frames per processing call")->capture_default_str();
        command->add_option("--tail", render.tail,
                            "seconds of silence after the input; auto: until below -120 dBFS, at most 10 s")
            ->capture_default_str();
        command->add_flag("--float", render.wantFloat, "write 32-bit float samples");
    };

    CLI::App* demo = app.add_subcommand("demo", "render the built-in demo signal through the plug-in");
    demo->add_option("-o,--output", demoOutput, "output file")->capture_default_str();
    addCommon(demo);
    addSession(demo);
    addRender(demo);

    CLI::App* renderCommand = app.add_subcommand("render", "render audio files through the plug-in");
    renderCommand->add_option("inputs", inputs, "input files (WAV, AIFF, FLAC, Ogg, ...)")->required();
    renderCommand->add_option("-o,--output", output, "output file, or folder for several inputs")->required();
    renderCommand->add_option("-j,--jobs", render.jobs, "files rendered at once (default: one per core)");
    addCommon(renderCommand);
    addSession(renderCommand);
    addRender(renderCommand);

    CLI::App* info = app.add_subcommand("info", "show the plug-in's record, parameters and programs");
    info->add_option("plugin", common.plugin, "plug-in library file");
    addCommon(info);
    addSession(info);

    std::vector<std::string> validatePlugins;
    bool strict = false;
    CLI::App* validate = app.add_subcommand("validate", "check plug-in libraries of this interface; 0 when all pass");
    validate->add_option("plugins", validatePlugins, "plug-in library files (default: the one built beside this tool)");
    validate->add_flag("--strict", strict, "add hostile values: NaN, infinities, out-of-range values and indices");

    // One check in a child process, started by validate.
    ValidateCheckOptions checkOptions;
    CLI::App* validateCheck = addValidateCheckCommand(app, checkOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::fprintf(stderr, "fxrender: error: %s (see fxrender --help)\n", error.what());
        return kExitUsage;
    }

    try {
        if (demo->parsed()) return runDemo(common, session, render, demoOutput);
        if (renderCommand->parsed()) return runRender(common, session, render, inputs, output);
        if (info->parsed()) return runInfo(common, session);
        if (validate->parsed()) {
            if (validatePlugins.empty()) validatePlugins.push_back(common.plugin);
            return runValidate(validatePlugins, strict);
        }
        if (validateCheck->parsed()) return runValidateCheck(checkOptions.check, checkOptions.plugin, checkOptions.resultFile, checkOptions.strict);
    } catch (const ToolError& error) {
        std::fprintf(stderr, "fxrender: error: %s\n", error.what());
        return error.status();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fxrender: error: %s\n", error.what());
        return kExitProcessing;
    }
    return kExitUsage;
}
