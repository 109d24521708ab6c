// The hidden `validate-check` subcommand through which the validator runs
// each check in a child process; fxrender and fxvalidate both take it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

struct ValidateCheckOptions {
    std::string check;
    std::string plugin;
    std::string resultFile;
    bool strict = false;
};

inline CLI::App* addValidateCheckCommand(CLI::App& app, ValidateCheckOptions& options) {
    CLI::App* command = app.add_subcommand("validate-check", "");
    command->group("");  // not for users: the validator starts it
    command->add_option("check", options.check)->required();
    command->add_option("plugin", options.plugin)->required();
    command->add_option("result", options.resultFile)->required();
    command->add_flag("--strict", options.strict);
    return command;
}
