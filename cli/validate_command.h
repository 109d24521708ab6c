// The validator's options on a command line, shared by `fxrender validate`
// and fxvalidate, and the hidden `validate-check` subcommand through which
// the validator runs each check in a child process.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "validator/validation_checks.h"
#include "validator/validator.h"

inline constexpr const char* kValidateExamples = R"(
Examples:
  validate                                  the plug-in built beside the tool
  validate --strict a.so b.so               any libraries of this interface and pointer width
  validate -j 2 /usr/lib/plugins/           a folder and below, two libraries at once
  validate --json report.json --junit report.xml plugin.so
  validate --skip cost --seed 7 -v plugin.so

A result is FAIL only for what can crash, hang or corrupt a host, or what the
interface requires and the plug-in breaks; NOTE for what the interface allows
but is unusual; WARN for what may trouble some hosts. Exit status: 0 when
every library passed, 1 a usage error, 2 when any failed, 130 when stopped.
)";

inline void addValidateOptions(CLI::App& command, ValidatorOptions& options, double& timeout, std::uint64_t& memoryMiB) {
    command.add_option("plugins", options.paths, "plug-in library files, or folders searched for them");
    command.add_flag("--strict", options.strict, "add hostile values and the opcodes of later interface versions");
    command.add_flag("-v,--verbose", options.verbose, "show the plug-ins' own output for every check");
    command.add_option("--seed", options.seed, "seed of the random input and block sizes")->capture_default_str();
    command.add_option("--skip", options.skip, "a check not to run; repeatable")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command.add_option("--memory", memoryMiB, "memory limit per check, in MiB")->capture_default_str();
    command.add_option("--timeout", timeout, "seconds per check (default: scaled to how long an instance takes)");
    command.add_option("-j,--jobs", options.jobs, "libraries validated at once")->capture_default_str();
    command.add_option("--json", options.jsonFile, "also write the results as JSON");
    command.add_option("--junit", options.junitFile, "also write the results as JUnit XML");
    command.footer(std::string(kValidateExamples) + "\nThe checks:\n" + describeChecks());
}

inline CLI::App* addValidateCheckCommand(CLI::App& app, CheckRequest& request) {
    CLI::App* command = app.add_subcommand("validate-check", "");
    command->group("");  // not for users: the validator starts it
    command->add_option("check", request.check)->required();
    command->add_option("plugin", request.plugin)->required();
    command->add_option("result", request.resultFile)->required();
    command->add_option("--call-log", request.callLog);
    command->add_option("--seed", request.seed);
    command->add_option("--instance-seconds", request.instanceSeconds);
    command->add_flag("--strict", request.strict);
    return command;
}
