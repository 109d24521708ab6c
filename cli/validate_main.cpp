// fxvalidate: the validator of fxrender on its own, for builds without the
// audio file libraries (the Windows builds).
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/validate_command.h"
#include "validator/validator.h"

int main(int argc, char** argv) {
    CLI::App app{"Checks plug-in libraries of the 1.0 interface; exit status 0 when all pass."};
    app.set_version_flag("--version", "fxvalidate 1.0.0");
    app.allow_windows_style_options(false);  // a path may start with a slash
    std::vector<std::string> plugins;
    bool strict = false;
    app.add_option("plugins", plugins, "plug-in library files");
    app.add_flag("--strict", strict, "add hostile values: NaN, infinities, out-of-range values and indices");
    ValidateCheckOptions checkOptions;
    CLI::App* check = addValidateCheckCommand(app, checkOptions);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (check->parsed()) {
        return runValidateCheck(checkOptions.check, checkOptions.plugin, checkOptions.resultFile, checkOptions.strict);
    }
    if (plugins.empty()) {
        std::fprintf(stderr, "fxvalidate: error: name at least one plug-in library (see fxvalidate --help)\n");
        return 1;
    }
    return runValidate(plugins, strict);
}
