// fxvalidate: the validator of fxrender on its own, for builds without the
// audio file libraries (the Windows builds).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>

#include "cli/stop_signals.h"
#include "cli/validate_command.h"

int main(int argc, char** argv) {
    CLI::App app{"Checks plug-in libraries of the 1.0 interface; exit status 0 when all pass.", "fxvalidate"};
    app.set_version_flag("--version", "fxvalidate " TF_VERSION);
    app.allow_windows_style_options(false);  // a path may start with a slash
    ValidatorOptions options;
    double timeout = 0;
    std::uint64_t memoryMiB = options.memoryMiB;
    addValidateOptions(app, options, timeout, memoryMiB);
    CheckRequest request;
    CLI::App* check = addValidateCheckCommand(app, request);
    // Only the validator starts its checks: the help shows no command.
    check->disabled(argc < 2 || std::strcmp(argv[1], "validate-check") != 0);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (check->parsed()) return runValidationCheck(request);
    if (options.paths.empty()) {
        std::fprintf(stderr, "fxvalidate: error: name at least one plug-in library or folder (see fxvalidate --help)\n");
        return 1;
    }
    stopsignals::install();
    options.stopRequested = [] { return stopsignals::received() != 0; };
    options.memoryMiB = memoryMiB;
    if (timeout > 0) options.timeoutSeconds = timeout;
    const int status = runValidate(options);
    return stopsignals::received() != 0 ? stopsignals::exitStatus() : status;
}
