// A check child that crashes reports it before it dies: the signal (or,
// on Windows, the exception), what the faulting address was (past the end
// of a guarded buffer, into a read-only input) and the call it was in, as
// one FAIL line of its results. glibc's own heap checks end in an abort,
// which is reported the same way.
#pragma once

class CrashReport {
public:
    // Reports into the result file open as `descriptor` (a file descriptor,
    // or on Windows a HANDLE's value).
    static void install(long long descriptor);
};
