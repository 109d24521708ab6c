#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/stop_signals.h"
#include "cli/tool_error.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on a path's links
constexpr long kNameMax = 255;  // bytes in a name, where the folder does not say
// What a temporary file's name adds to the target's: mkostemp's six
// characters make it unique.
constexpr const char* kPartialSuffix = ".partial-XXXXXX";

// Read once, before any thread could create a file in between.
const mode_t processUmask = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}();

std::string reason() { return std::strerror(errno); }

// The file a path names, symbolic links followed (also a dangling last one,
// whose target is then created).
std::string followLinks(const std::string& path) {
    fs::path current(path);
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current.string();
        std::error_code error;
        const fs::path link = fs::read_symlink(current, error);
        if (error) return current.string();
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    errno = ELOOP;
    throw processingError("'" + path + "': " + reason());
}

void writeAll(int to, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(to, data, size);
        if (n < 0) {
            if (errno == EINTR && stopsignals::received() == 0) continue;
            throw std::system_error(errno, std::generic_category());
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

OutputFile::OutputFile(const std::string& path, CheckOnly)
    : given(path), label(isStandardOutput(path) ? "standard output" : "'" + path + "'") {
    inspect();
}

OutputFile::OutputFile(const std::string& path) : OutputFile(path, CheckOnly{}) {
    if (mode == Mode::Stream) {
        openStream();
    } else if (mode == Mode::CopyIn) {
        openAnonymous();
    } else {
        openBeside();
    }
}

void OutputFile::check(const std::string& path) { OutputFile(path, CheckOnly{}); }

bool OutputFile::isStream(const std::string& path) {
    struct stat info {};
    if (isStandardOutput(path)) {
        return fstat(STDOUT_FILENO, &info) != 0 || !S_ISREG(info.st_mode) || (fcntl(STDOUT_FILENO, F_GETFL) & O_APPEND) != 0;
    }
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::optional<FileIdentity> OutputFile::identityOf(const std::string& path) {
    struct stat info {};
    const int found = isStandardOutput(path) ? fstat(STDOUT_FILENO, &info) : stat(path.c_str(), &info);
    if (found != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

void OutputFile::inspect() {
    if (isStandardOutput(given)) {
        // Into a file it is written when complete (a shell's "> file");
        // otherwise as the render goes.
        mode = isStream(given) ? Mode::Stream : Mode::CopyIn;
        return;
    }
    // A pipe, a device or /dev/fd/N of one is a stream, opened by its name
    // (the system resolves /dev/fd's links, which name no file).
    if (isStream(given)) {
        // Not opened to find out: a reader waiting at a named pipe would
        // take that for the whole stream, and end.
        if (faccessat(AT_FDCWD, given.c_str(), W_OK, AT_EACCESS) != 0) throw processingError(label + ": " + reason());
        mode = Mode::Stream;
        return;
    }
    target = followLinks(given);
    struct stat info {};
    existed = stat(target.c_str(), &info) == 0;
    if (!existed && errno != ENOENT) throw processingError(label + ": " + reason());
    if (existed) {
        if (S_ISDIR(info.st_mode)) throw processingError(label + ": is a folder");
        // Refused exactly when opening it for writing would be.
        const int probe = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) throw processingError(label + ": " + reason());
        close(probe);
        owner = info.st_uid;
        group = info.st_gid;
        permissions = info.st_mode & 07777;
        return;
    }
    const fs::path folder = fs::path(target).has_parent_path() ? fs::path(target).parent_path() : ".";
    struct stat folderInfo {};
    if (stat(folder.c_str(), &folderInfo) != 0) {
        if (errno == ENOENT) throw processingError(label + ": folder '" + folder.string() + "' does not exist");
        throw processingError(label + ": " + reason());
    }
    if (!S_ISDIR(folderInfo.st_mode)) throw processingError(label + ": '" + folder.string() + "' is not a folder");
    // A new file needs a folder the process may write.
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) throw processingError(label + ": " + reason());
}

void OutputFile::openStream() {
    if (isStandardOutput(given)) {
        fd = STDOUT_FILENO;
        ownsDescriptor = false;
        return;
    }
    for (;;) {
        fd = open(given.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) return;
        if (errno == EINTR && stopsignals::received() == 0) continue;
        if (stopsignals::received() != 0) throw processingError(label + ": " + stopsignals::describe());
        throw processingError(label + ": " + reason());
    }
}

void OutputFile::openBeside() {
    const fs::path path(target);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : ".";
    // The target's name, cut (at a character's start) so that the suffix
    // fits the longest name the folder takes.
    const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t room = static_cast<std::size_t>(longest > 0 ? longest : kNameMax) - std::strlen(kPartialSuffix);
    std::string name = path.filename().string();
    if (name.size() > room) {
        name.resize(room);
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80) name.pop_back();
        if (!name.empty() && static_cast<unsigned char>(name.back()) >= 0xC0) name.pop_back();
    }
    std::string pattern = (folder / (name + kPartialSuffix)).string();
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) {
        temporary = pattern;
        return;
    }
    const int error = errno;
    if (existed && (error == EACCES || error == EPERM || error == EROFS)) {
        // The file may be written, its folder not: write it in place.
        mode = Mode::CopyIn;
        openAnonymous();
        return;
    }
    errno = error;
    throw processingError(label + ": " + reason());
}

int openAnonymousTemporaryFile() {
    const char* environment = std::getenv("TMPDIR");
    const std::string folder = environment != nullptr && *environment != '\0' ? environment : "/tmp";
#if defined(O_TMPFILE)
    const int fd = open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
#endif
    std::string pattern = folder + "/fxrender-XXXXXX";
    const int named = mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0) unlink(pattern.c_str());
    return named;
}

void OutputFile::openAnonymous() {
    fd = openAnonymousTemporaryFile();
    if (fd < 0) throw processingError(label + ": no temporary file: " + reason());
}

int OutputFile::restartData() {
    const int previous = fd;
    fd = -1;
    if (!temporary.empty()) unlink(temporary.c_str());
    temporary.clear();
    try {
        if (mode == Mode::CopyIn) {
            openAnonymous();
        } else {
            openBeside();
        }
    } catch (...) {
        close(previous);
        throw;
    }
    lseek(previous, 0, SEEK_SET);
    return previous;
}

OutputFile::~OutputFile() {
    if (fd >= 0 && ownsDescriptor) close(fd);
    if (!temporary.empty()) unlink(temporary.c_str());
}

void OutputFile::copyInto(int to) const {
    if (lseek(fd, 0, SEEK_SET) != 0) throw std::system_error(errno, std::generic_category());
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR && stopsignals::received() == 0) continue;
            throw std::system_error(errno, std::generic_category());
        }
        if (n == 0) return;
        writeAll(to, buffer, static_cast<std::size_t>(n));
    }
}

void OutputFile::commit() {
    if (stopsignals::received() != 0) throw processingError(label + ": " + stopsignals::describe());
    if (mode == Mode::Stream) return;  // written as it went
    if (mode == Mode::CopyIn && isStandardOutput(given)) {
        try {
            copyInto(STDOUT_FILENO);
        } catch (const std::system_error& error) {
            throw processingError(label + ": write failed: " + error.code().message());
        }
        return;
    }
    if (mode == Mode::CopyIn) {
        const int to = open(target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
        if (to < 0) throw processingError(label + ": " + reason());
        try {
            copyInto(to);
            if (fsync(to) != 0) throw std::system_error(errno, std::generic_category());
        } catch (const std::system_error& error) {
            close(to);
            throw processingError(label + ": write failed: " + error.code().message());
        }
        if (close(to) != 0) throw processingError(label + ": write failed: " + reason());
        return;
    }
    // Owner first: changing it clears the set-user and set-group bits.
    if (existed && fchown(fd, owner, group) != 0) {
        // Not allowed to give it away; the group alone may still be allowed.
        if (fchown(fd, static_cast<uid_t>(-1), group) != 0) errno = 0;
    }
    const mode_t wanted = existed ? permissions : (0666 & ~processUmask);
    if (fchmod(fd, wanted) != 0) throw processingError(label + ": " + reason());
    // On the disk before it takes the target's name: a crash then leaves
    // the old file or the new one, never an empty one.
    if (fsync(fd) != 0) throw processingError(label + ": write failed: " + reason());
    const int closed = close(fd);
    fd = -1;
    if (closed != 0) throw processingError(label + ": write failed: " + reason());
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        throw processingError(label + ": cannot replace: " + reason());
    }
    temporary.clear();
    // The rename itself on the disk; a folder that cannot be synced (some
    // file systems) has the file in it all the same.
    const fs::path path(target);
    const int folder = open(path.has_parent_path() ? path.parent_path().c_str() : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}
