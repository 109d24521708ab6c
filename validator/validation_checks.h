// The checks the validator runs on a plug-in library, each in a child
// process of its own (the child's side). A check writes its findings as
// lines "RESULT<TAB>detail" (RESULT one of PASS, NOTE, WARN, FAIL) into a
// result file as it goes, so that what it found survives a crash.
//
// FAIL is for what can crash, hang or corrupt a host, or what the interface
// requires and the plug-in breaks; NOTE for what the interface allows but
// is unusual; WARN for what works but may trouble some hosts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CheckInfo {
    const char* name;
    const char* demand;    // what a plug-in must do to pass, for the docs and --help
    bool strictOnly;       // run with --strict only
    bool gate;             // when it fails, the other checks are not run
    bool crashIsNote;      // a crash here is the plug-in's right (opcodes of later versions)
};

const std::vector<CheckInfo>& validationChecks();

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
