// Errors the command-line host reports: one line for the user and the exit
// status that goes with it.
#pragma once

#include <stdexcept>
#include <string>

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitUsage = 1,       // a bad argument, option, setting or program
    kExitProcessing = 2,  // a file or plug-in that cannot be read, written or used
};

class ToolError : public std::runtime_error {
public:
    ToolError(ExitStatus status, const std::string& message) : std::runtime_error(message), exitStatus(status) {}
    ExitStatus status() const { return exitStatus; }

private:
    ExitStatus exitStatus;
};

inline ToolError usageError(const std::string& message) { return ToolError(kExitUsage, message); }
inline ToolError processingError(const std::string& message) { return ToolError(kExitProcessing, message); }
