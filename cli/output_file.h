// Where one output's bytes go, so that nothing the user did not ask to
// write is damaged:
//  - an existing output the process may not open for writing is refused
//    with the system's reason, as opening it would be;
//  - the data goes to a temporary file beside the target, named after it
//    ("song.wav.partial-<pid>-<n>", so that the one a SIGKILL can leave is
//    recognisable), which replaces the target only when complete, with the
//    target's permission bits (and owner and group where the process may
//    set them); a symbolic link is written through and stays a link;
//  - where nothing can be created beside an existing target (a folder the
//    user may not write), or the target is not a regular file (standard
//    output, a pipe, a device), the data goes to an anonymous temporary
//    file that is copied into the target when complete.
// Destroyed without commit(), it leaves nothing behind.
#pragma once

#include <sys/types.h>

#include <string>

// An anonymous temporary file (in $TMPDIR, else /tmp), open for reading and
// writing; it disappears with its last descriptor. -1 with errno set.
int openAnonymousTemporaryFile();

class OutputFile {
public:
    // "-" is standard output.
    static bool isStandardOutput(const std::string& path) { return path == "-"; }

    // Throws a processing ToolError naming the file and the system's reason.
    explicit OutputFile(const std::string& path);
    // Throws what the constructor would for the target itself (a file the
    // process may not write, a missing folder), creating nothing.
    static void check(const std::string& path);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // A seekable descriptor, open for reading and writing, for the data.
    int descriptor() const { return fd; }
    // The name for messages: the path in quotes, or "standard output".
    const std::string& name() const { return label; }

    // Puts the complete data in place. Throws a processing ToolError; after
    // a failure nothing is left but what the target held before (or, when
    // copying into a target in place failed part way, what was copied).
    void commit();

private:
    enum class Mode { Replace, CopyIn };
    struct CheckOnly {};

    OutputFile(const std::string& path, CheckOnly);
    // Follows links to the target and finds how to write it.
    void inspect();

    void openBeside();
    void openAnonymous();
    void copyInto(int target) const;

    std::string given;
    std::string label;
    std::string target;     // the file the data is for, links followed
    std::string temporary;  // beside the target, when Mode::Replace
    Mode mode = Mode::Replace;
    bool existed = false;
    uid_t owner = 0;
    gid_t group = 0;
    mode_t permissions = 0;
    int fd = -1;
};
