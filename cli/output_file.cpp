#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/stop_signals.h"
#include "cli/tool_error.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on a path's links

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
    if (mode == Mode::CopyIn) {
        openAnonymous();
    } else {
        openBeside();
    }
}

void OutputFile::check(const std::string& path) { OutputFile(path, CheckOnly{}); }

void OutputFile::inspect() {
    if (isStandardOutput(given)) {
        mode = Mode::CopyIn;
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
        if (probe < 0 && !(errno == ENXIO && S_ISFIFO(info.st_mode))) throw processingError(label + ": " + reason());
        if (probe >= 0) close(probe);
        owner = info.st_uid;
        group = info.st_gid;
        permissions = info.st_mode & 07777;
        if (!S_ISREG(info.st_mode)) mode = Mode::CopyIn;
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

void OutputFile::openBeside() {
    static std::atomic<unsigned> serial{0};
    const fs::path path(target);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const std::string name = path.filename().string() + ".partial-" + std::to_string(getpid()) + "-" +
                             std::to_string(serial++);
    temporary = (folder / name).string();
    fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return;
    const int error = errno;
    temporary.clear();
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

OutputFile::~OutputFile() {
    if (fd >= 0) close(fd);
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
    if (mode == Mode::CopyIn) {
        const bool toStandardOutput = isStandardOutput(given);
        const int to = toStandardOutput ? STDOUT_FILENO
                                        : open(target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
        if (to < 0) throw processingError(label + ": " + reason());
        try {
            copyInto(to);
        } catch (const std::system_error& error) {
            if (!toStandardOutput) close(to);
            throw processingError(label + ": write failed: " + error.code().message());
        }
        if (!toStandardOutput && close(to) != 0) throw processingError(label + ": write failed: " + reason());
        return;
    }
    // Owner first: changing it clears the set-user and set-group bits.
    if (existed && fchown(fd, owner, group) != 0) {
        // Not allowed to give it away; the group alone may still be allowed.
        if (fchown(fd, static_cast<uid_t>(-1), group) != 0) errno = 0;
    }
    const mode_t wanted = existed ? permissions : (0666 & ~processUmask);
    if (fchmod(fd, wanted) != 0) throw processingError(label + ": " + reason());
    const int closed = close(fd);
    fd = -1;
    if (closed != 0) throw processingError(label + ": write failed: " + reason());
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        throw processingError(label + ": cannot replace: " + reason());
    }
    temporary.clear();
}
