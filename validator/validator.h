// A battery of checks for a plug-in library of the 1.0 interface: loading,
// control, texts, parameters and programs, audio, cost and, when strict,
// hostile values. Each check runs in a child process, so a crash or a hang
// is a failed check and the run goes on.
#pragma once

#include <string>
#include <vector>

// Validates each library, prints a table (check, result, detail) and a
// verdict per library; 0 when no check failed, 2 otherwise. Warnings (texts
// longer than hosts of the interface's generation reserve, answers to
// opcodes beyond 24) and notes do not fail.
int runValidate(const std::vector<std::string>& plugins, bool strict);

// The child's side: runs one check on one library and writes its findings,
// one "RESULT<TAB>detail" line each, to resultFile.
int runValidateCheck(const std::string& check, const std::string& plugin, const std::string& resultFile,
                     bool strict);
