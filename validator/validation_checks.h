// The checks the validator runs on a plug-in library, each in a child
// process of its own (the child's side). A check writes its findings as
// lines "RESULT<TAB>detail" (PASS, NOTE, WARN or FAIL) into a result file
// as it goes, so that what it found survives a crash. Each check is
// declared beside its code, in checks/, by topic.
//
// FAIL is for what can crash, hang or corrupt a host, or what the interface
// requires and the plug-in breaks; NOTE for what the interface allows but
// is unusual; WARN for what works but may trouble some hosts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "validator/checks/check.h"

// Every check, in the order they run (the --strict ones last).
const std::vector<CheckInfo>& validationChecks();

// What a check requires as --help and the docs say it: "(a note only)",
// "(a warning only)" before, the check's demand, "(--strict)" after.
std::string checkDemand(const CheckInfo& check);

struct CheckRequest {
    std::string check;
    std::string plugin;
    std::string resultFile;
    std::string callLog;          // shared with the parent: the call in progress
    bool strict = false;
    std::uint32_t seed = 1;
    double instanceSeconds = 0;   // how long making one instance took; scales the work
};

// The child's side: runs one check; returns the child's exit status.
int runValidationCheck(const CheckRequest& request);
