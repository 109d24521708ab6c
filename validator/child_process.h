// Runs this program again as a child process with other arguments, so that
// a check that crashes, hangs or eats memory takes only the child with it:
// within a time and a memory limit, with its standard output and error
// gathered into a file, and stopped at once when the run is.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ChildLimits {
    double seconds = 60.0;          // then it is killed
    std::uint64_t memoryBytes = 0;  // address space (Windows: committed memory); 0 for none
    std::string outputFile;         // its stdout and stderr; empty: /dev/null
    std::vector<std::pair<std::string, std::string>> environment;  // added to ours
    std::function<bool()> stopRequested;  // polled: true kills the child
};

struct ChildOutcome {
    bool ran = false;          // the child could be started
    bool exited = false;       // it ended by returning from main or calling exit
    int status = 0;            // its exit status when it exited
    bool timedOut = false;     // it was stopped after the time limit
    bool stopped = false;      // it was stopped because the run was
    std::string how;           // what happened, for a report: "exit status 3", "killed by signal 11"
};

ChildOutcome runSelf(const std::vector<std::string>& arguments, const ChildLimits& limits);
