// Where one output's bytes go, so that nothing the user did not ask to
// write is damaged:
//  - an existing output the process may not open for writing is refused
//    with the system's reason, as opening it would be;
//  - a file's data goes to a temporary file beside the target, under a
//    short unique name made from the target's ("song.wav.partial-Xa3kQ9",
//    shortened to fit the file system's names, so that one a SIGKILL can
//    leave is recognisable and a stale one is never in the way), which is
//    flushed to the disk and then replaces the target, with the target's
//    permission bits (and owner and group where the process may set them);
//    a symbolic link is written through and stays a link;
//  - where nothing can be created beside an existing target (a folder the
//    user may not write), the data goes to an anonymous temporary file that
//    is copied into the target when complete;
//  - a target that is not a file (standard output, unless it is a file; a
//    named pipe, /dev/fd/N, a device) is a stream: written as the render
//    goes, no temporary file. Standard output sent into a file gets the
//    file complete, through an anonymous temporary file.
// Destroyed without commit(), it leaves nothing behind.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// An anonymous temporary file (in $TMPDIR, else /tmp), open for reading and
// writing; it disappears with its last descriptor. -1 with errno set.
int openAnonymousTemporaryFile();

// A file as the system knows it, whatever its names: device and inode.
struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator==(const FileIdentity&) const = default;
};

class OutputFile {
public:
    // "-" is standard output.
    static bool isStandardOutput(const std::string& path) { return path == "-"; }
    // True for a target that is not a file: a named pipe, /dev/fd/N, a
    // device, and standard output unless it is a file not opened for
    // appending (one that can be gone back over).
    static bool isStream(const std::string& path);
    // The file an output path would write, links followed (standard output:
    // what it is); nothing when there is none yet.
    static std::optional<FileIdentity> identityOf(const std::string& path);

    // Throws a processing ToolError naming the file and the system's reason.
    explicit OutputFile(const std::string& path);
    // Throws what the constructor would for the target itself (a file the
    // process may not write, a missing folder), creating nothing.
    static void check(const std::string& path);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The descriptor for the data: seekable and open for reading and
    // writing for a file, write-only for a stream.
    int descriptor() const { return fd; }
    // Written as the render goes (see above).
    bool stream() const { return mode == Mode::Stream; }
    // The name for messages: the path in quotes, or "standard output".
    const std::string& name() const { return label; }

    // A file: starts the data again in a new temporary file, and returns a
    // descriptor of what was written so far (open for reading, at its
    // start; the caller closes it; its temporary name is gone already).
    int restartData();

    // Puts the complete data in place, flushed to the disk. Throws a
    // processing ToolError; after a failure nothing is left but what the
    // target held before (or, when copying into a target in place failed
    // part way, what was copied).
    void commit();

private:
    enum class Mode { Replace, CopyIn, Stream };
    struct CheckOnly {};

    OutputFile(const std::string& path, CheckOnly);
    // Follows links to the target and finds how to write it.
    void inspect();

    void openStream();
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
    bool ownsDescriptor = true;  // not standard output's
};
