// The validator of plug-in libraries of the 1.0 interface: each check runs
// in a child process of its own (see validation_checks.h), within a time and
// a memory limit, so that a crash, a hang or runaway memory is one failed
// check and the run goes on. Prints a table per library (check, result,
// detail) with a verdict, and a summary across libraries.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ValidatorOptions {
    std::vector<std::string> paths;  // library files, or folders searched for them (recursively)
    bool strict = false;             // hostile values and later opcodes too
    bool verbose = false;            // the plug-ins' own output for every check, not only failing ones
    std::uint32_t seed = 1;          // for the random input and block sizes
    std::vector<std::string> skip;   // checks not to run
    std::uint64_t memoryMiB = 4096;  // per check child
    std::optional<double> timeoutSeconds;  // per check; default scales with how long an instance takes
    unsigned jobs = 1;               // libraries validated at once
    std::string jsonFile;            // a report in JSON, when named
    std::string junitFile;           // a report in JUnit XML, when named
    std::function<bool()> stopRequested;  // polled: true stops the run and its children
};

// 0 when every library passed, 1 for a usage error (an unknown check, no
// library found), 2 when any failed or could not be validated, 130 when
// stopped.
int runValidate(const ValidatorOptions& options);

// The checks and what each requires, one per line, for --help and the docs.
std::string describeChecks();
