// One check of the validator, as it is declared beside its code: its name,
// what a plug-in must do to pass, why hosts need it, what a failure counts
// as, and the function that runs it in a check child.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "validator/checks/report.h"

// The worst result a check gives: most checks fail what breaks hosts; some
// only ever note or warn.
enum class Severity { fails, warns, notes };

struct CheckInfo {
    std::string_view name;
    std::string_view demand;  // what a plug-in must do to pass, for the docs and --help
    std::string_view why;     // why hosts need it
    Severity severity = Severity::fails;
    bool strictOnly = false;   // run with --strict only
    bool gate = false;         // when it fails, the other checks are not run
    bool crashIsNote = false;  // a crash here is the plug-in's right (opcodes of later versions)
};

// What a check child has to work with.
struct Context {
    Report& report;
    std::string plugin;
    bool strict;
    std::uint32_t seed;
    double instanceSeconds;  // how long making one instance took; scales the work

    // How many of something that takes an instance each fit the work budget.
    int affordable(int wanted) const;
};

struct Check {
    CheckInfo info;
    void (*run)(Context&);
};

// The checks of each topic, in the order they run; validation_checks.cpp
// puts them together.
std::vector<Check> loadingChecks();    // loading and the record
std::vector<Check> opcodeChecks();     // opcodes and texts
std::vector<Check> parameterChecks();  // parameters and programs
std::vector<Check> stateChecks();      // state chunks
std::vector<Check> audioChecks();      // audio and rates
std::vector<Check> threadChecks();     // threads
std::vector<Check> costChecks();       // cost
