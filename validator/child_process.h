// Runs this program again as a child process with other arguments, so that
// a check that crashes or hangs takes only the child with it.
#pragma once

#include <string>
#include <vector>

struct ChildOutcome {
    bool ran = false;       // the child could be started
    bool exited = false;    // it ended by returning from main or calling exit
    int status = 0;         // its exit status when it exited
    bool timedOut = false;  // it was stopped after the time limit
    std::string how;        // what happened, for a report: "exit status 3", "killed by signal 11"
};

ChildOutcome runSelf(const std::vector<std::string>& arguments, int timeoutSeconds);
