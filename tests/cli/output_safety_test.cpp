// fxrender never damages what it was not asked to write: permissions,
// owners, links, existing files and partial outputs, on errors, signals and
// a full disk; the same file under another name; any name.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tool_harness.h"

namespace {

struct stat statOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

class OutputSafety : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        writeAudio(at("in.wav"), noise(2, 4000, 44100, 1));
        fs::permissions(at("in.wav"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                          fs::perms::others_read);
    }
};

TEST_F(OutputSafety, NeverReplacesAFileTheUserMayNotWrite) {
    // The user's own read-only file in a folder the user may not write.
    const fs::path shut = folder / "shut";
    fs::create_directories(shut);
    writeAudio(shut / "master.wav", noise(2, 100, 44100, 2));
    ASSERT_EQ(chown((shut / "master.wav").c_str(), unprivilegedUid(), static_cast<gid_t>(-1)), 0);
    fs::permissions(shut / "master.wav", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(shut.c_str(), 0555), 0);
    }
    const std::string before = readFile(shut / "master.wav");

    Launch launch{{"render", at("in.wav"), "-o", (shut / "master.wav").string()}, {}, {}, true, false};
    Outcome result = run(launch);
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_NE(result.output.find("'" + (shut / "master.wav").string() + "': Permission denied"), std::string::npos)
        << result.output;
    EXPECT_EQ(readFile(shut / "master.wav"), before);
    EXPECT_EQ(filesIn(shut), std::set<std::string>{"master.wav"});

    // Somebody else's read-only file in a folder everybody may write.
    if (geteuid() == 0) {
        const fs::path open = folder / "open";
        fs::create_directories(open);
        fs::permissions(open, fs::perms::all);
        writeAudio(open / "theirs.wav", noise(2, 100, 44100, 3));
        fs::permissions(open / "theirs.wav", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const std::string theirs = readFile(open / "theirs.wav");
        launch.arguments = {"render", at("in.wav"), "-o", (open / "theirs.wav").string()};
        result = run(launch);
        EXPECT_EQ(result.status, 2) << result.output;
        EXPECT_NE(result.output.find("Permission denied"), std::string::npos) << result.output;
        EXPECT_EQ(readFile(open / "theirs.wav"), theirs);
        EXPECT_EQ(filesIn(open), std::set<std::string>{"theirs.wav"});
    }
}

TEST_F(OutputSafety, KeepsPermissionsOwnerAndLinks) {
    writeAudio(at("private.wav"), noise(2, 100, 44100, 4));
    ASSERT_EQ(chmod(at("private.wav").c_str(), 0600), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(at("private.wav").c_str(), unprivilegedUid(), 100), 0);
    }
    const struct stat before = statOf(at("private.wav"));
    Outcome result = run("render " + at("in.wav") + " -o " + at("private.wav") + " -q");
    ASSERT_EQ(result.status, 0) << result.output;
    const struct stat after = statOf(at("private.wav"));
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_GT(readAudio(at("private.wav")).samples.size(), 8000u) << "the new audio, not the old";

    // A link into another folder: written through, the link stays, the
    // temporary file went beside the target.
    fs::create_directories(folder / "store");
    writeAudio(folder / "store" / "take.wav", noise(2, 100, 44100, 5));
    fs::create_symlink("store/take.wav", folder / "link.wav");
    result = run("render " + at("in.wav") + " -o " + at("link.wav") + " -q --tail 0");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(fs::is_symlink(folder / "link.wav"));
    EXPECT_EQ(fs::read_symlink(folder / "link.wav"), "store/take.wav");
    EXPECT_EQ(readAudio(folder / "store" / "take.wav").samples.size(), 8000u);
    EXPECT_EQ(filesIn(folder / "store"), std::set<std::string>{"take.wav"});

    // A new file gets the usual mode: 0666 less the umask.
    const mode_t mask = umask(022);
    result = run("render " + at("in.wav") + " -o " + at("fresh.wav") + " -q");
    umask(mask);
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(statOf(at("fresh.wav")).st_mode & 07777, 0644u);
}

TEST_F(OutputSafety, WritesInPlaceWhereOnlyTheFileMayBeWritten) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a folder the user may not write and a file in it the user may";
    const fs::path shut = folder / "shut";
    fs::create_directories(shut);
    writeAudio(shut / "mine.wav", noise(2, 100, 44100, 6));
    ASSERT_EQ(chown((shut / "mine.wav").c_str(), unprivilegedUid(), static_cast<gid_t>(-1)), 0);
    const ino_t inode = statOf(shut / "mine.wav").st_ino;
    const Outcome result = run(Launch{{"render", at("in.wav"), "-o", (shut / "mine.wav").string(), "-q", "--tail", "0"},
                                      {}, {}, true, false});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(statOf(shut / "mine.wav").st_ino, inode);
    EXPECT_EQ(readAudio(shut / "mine.wav").samples.size(), 8000u);
    EXPECT_EQ(filesIn(shut), std::set<std::string>{"mine.wav"});
}

TEST_F(OutputSafety, SaysPermissionDeniedForWhatCannotBeReadOrWritten) {
    const fs::path hidden = folder / "hidden";
    fs::create_directories(hidden);
    fs::permissions(hidden, fs::perms::none);
    writeAudio(at("secret.wav"), noise(1, 100, 44100, 7));
    ASSERT_EQ(chmod(at("secret.wav").c_str(), 0), 0);
    const fs::path locked = folder / "locked";
    fs::create_directories(locked);
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    }
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"render", (hidden / "x.wav").string(), "-o", at("out.wav")}, "'" + (hidden / "x.wav").string() + "': Permission denied"},
        {{"render", at("secret.wav"), "-o", at("out.wav")}, "'" + at("secret.wav") + "': Permission denied"},
        {{"render", at("in.wav"), "-o", (locked / "new.wav").string()}, "'" + (locked / "new.wav").string() + "': Permission denied"},
    };
    for (const auto& c : cases) {
        const Outcome result = run(Launch{c.arguments, {}, {}, true, false});
        EXPECT_EQ(result.status, 2) << result.output;
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("no such file"), std::string::npos) << result.output;
    }
    EXPECT_TRUE(filesIn(locked).empty());
    fs::permissions(hidden, fs::perms::owner_all);
}

TEST_F(OutputSafety, SignalsLeaveNoTemporaryFileAndOneMessage) {
    writeAudio(at("long.wav"), noise(2, 44100 * 3, 44100, 8));
    writeAudio(at("out.wav"), noise(2, 10, 44100, 9));
    const std::string before = readFile(at("out.wav"));
    const struct {
        int signal;
        int status;
        const char* message;
    } cases[] = {{SIGINT, 130, "interrupted"}, {SIGTERM, 143, "terminated"}, {SIGHUP, 129, "hung up"}};
    for (const auto& c : cases) {
        const Launch launch{{"render", at("long.wav"), "-o", at("out.wav"), "--plugin", SLOW_PLUGIN, "--block", "64"},
                            {}, {}, false, false};
        const Outcome result = interrupt(launch, folder, "out.wav.partial-", c.signal);
        EXPECT_EQ(result.status, c.status) << result.output;
        EXPECT_EQ(result.output, std::string("fxrender: ") + c.message + "\n");
        EXPECT_EQ(filesIn(), (std::set<std::string>{"in.wav", "long.wav", "out.wav"}));
        EXPECT_EQ(readFile(at("out.wav")), before);
    }

    // A batch stopped part way: one message, no partial file anywhere.
    fs::create_directories(folder / "batch");
    const Launch batch{{"render", at("long.wav"), at("in.wav"), "-o", at("batch"), "--plugin", SLOW_PLUGIN, "--block",
                        "64", "-j", "2"},
                       {}, {}, false, false};
    const Outcome result = interrupt(batch, folder / "batch", "long.wav.partial-", SIGINT);
    EXPECT_EQ(result.status, 130) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    for (const auto& name : filesIn(folder / "batch")) EXPECT_EQ(name.find("partial"), std::string::npos) << name;

    // Standard output closed by its reader: before the first byte, and
    // after some (writes still pending then raise SIGPIPE again).
    const Outcome piped = run(Launch{{"render", at("in.wav"), "-o", "-"}, {}, {}, false, true});
    EXPECT_EQ(piped.status, 141) << piped.output;
    EXPECT_EQ(piped.output, "fxrender: output pipe closed\n");
    const std::string reader = "{ " + tool + " render " + at("long.wav") + " -o - 2> " + at("said") + "; echo $? > " +
                               at("status") + "; } | head -c 1000 > /dev/null";
    std::system(reader.c_str());
    EXPECT_EQ(readFile(at("status")), "141\n");
    EXPECT_EQ(readFile(at("said")), "fxrender: output pipe closed\n");
    fs::remove(at("said"));
    fs::remove(at("status"));
}

TEST_F(OutputSafety, ErrorsAfterTheOutputWasCreatedLeaveNothing) {
    // Opus takes only some sample rates: libsndfile refuses when the file is
    // already created.
    writeAudio(at("cd.wav"), noise(2, 100, 44100, 10));
    Outcome result = run("render " + at("cd.wav") + " -o " + at("out.opus"));
    EXPECT_EQ(result.status, 2) << result.output;
    // An encoded input to a PCM container, as once left a 0-byte partial.
    result = run("render " + at("cd.wav") + " -o " + at("cd.mp3") + " -q --tail 0");
    if (result.status == 0) {
        result = run("render " + at("cd.mp3") + " -o " + at("back.wav") + " -q");
        EXPECT_EQ(result.status, 0) << result.output;
        EXPECT_EQ(readAudio(at("back.wav")).format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    }
    for (const auto& name : filesIn()) EXPECT_EQ(name.find("partial"), std::string::npos) << name;
    EXPECT_EQ(filesIn().count("out.opus"), 0u);
}

// The file system full part way through, for every kind of output: the
// render fails with the system's reason, the old output stays as it was and
// nothing else is left. A tmpfs of 300 KiB, mounted in a mount namespace of
// the test's own (root only).
TEST_F(OutputSafety, AFullDiskFailsEveryFormatAndKeepsTheOldOutput) {
    if (geteuid() != 0 || std::system("command -v unshare >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs root (and unshare) to mount a small file system";
    }
    writeAudio(at("long.wav"), noise(2, 44100 * 20, 44100, 20));
    for (const char* type : {"wav", "flac", "ogg", "mp3", "aiff", "au"}) {
        SCOPED_TRACE(type);
        const std::string name = std::string("out.") + type;
        const std::string script =
            "set -u; d=" + at("disk") + "; mkdir -p $d && mount -t tmpfs -o size=300k tmpfs $d || exit 99; "
            "head -c 100000 /dev/urandom > $d/" + name + "; cp $d/" + name + " " + at("old") + "; " +
            tool + " render " + at("long.wav") + " -o $d/" + name + " > " + at("said") + " 2>&1; echo $? > " +
            at("status") + "; ls -a $d > " + at("left") + "; cmp -s $d/" + name + " " + at("old") + "; echo $? > " +
            at("same");
        const int ran = std::system(("unshare -m sh -c '" + script + "'").c_str());
        if (WEXITSTATUS(ran) == 99) GTEST_SKIP() << "cannot mount a tmpfs here";
        EXPECT_EQ(readFile(at("status")), "2\n") << readFile(at("said"));
        EXPECT_NE(readFile(at("said")).find("No space left on device"), std::string::npos) << readFile(at("said"));
        EXPECT_EQ(readFile(at("left")), ".\n..\n" + name + "\n") << "something was left beside the output";
        EXPECT_EQ(readFile(at("same")), "0\n") << "the old output was changed";
    }
}

// An output that is an input under another name is refused before anything
// is written, whatever the folder lets the user do.
TEST_F(OutputSafety, TheSameFileByAnyNameIsNeverWrittenOver) {
    writeAudio(at("in.wav"), noise(2, 4410, 44100, 21));
    const std::string before = readFile(at("in.wav"));
    fs::create_directories(folder / "sub");
    fs::create_hard_link(at("in.wav"), folder / "sub" / "hard.wav");
    fs::create_symlink(at("in.wav"), folder / "soft.wav");
    // A folder the unprivileged user may not write: a file there is written in place.
    fs::permissions(folder / "sub", fs::perms::owner_all | fs::perms::others_exec | fs::perms::others_read);
    fs::permissions(at("in.wav"), fs::perms::all);
    for (const std::string& output : {(folder / "sub" / "hard.wav").string(), at("soft.wav"),
                                     (folder / "sub" / ".." / "in.wav").string()}) {
        const Outcome result = run(Launch{{"render", at("in.wav"), "-o", output}, {}, {}, true, false});
        EXPECT_EQ(result.status, 2) << output << "\n" << result.output;
        EXPECT_NE(result.output.find("is the input '" + at("in.wav") + "'"), std::string::npos) << result.output;
        EXPECT_EQ(readFile(at("in.wav")), before) << output;
    }
    // Standard output sent into the input.
    const std::string appended = tool + " render " + at("in.wav") + " -o - -q >> " + at("in.wav") + " 2> " + at("said");
    EXPECT_NE(std::system(appended.c_str()), 0);
    EXPECT_NE(readFile(at("said")).find("standard output: is the input"), std::string::npos) << readFile(at("said"));
    EXPECT_EQ(readFile(at("in.wav")), before);
    EXPECT_EQ(filesIn(), (std::set<std::string>{"in.wav", "said", "soft.wav", "sub"}));
}

// Any name the file system takes works, and a temporary file that a killed
// render left is no obstacle.
TEST_F(OutputSafety, LongNamesAndLeftoversAreNoObstacle) {
    writeAudio(at("in.wav"), noise(2, 4410, 44100, 22));
    const std::string longest = std::string(251, 'n') + ".wav";  // 255 bytes
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at(longest) + " -q").status, 0);
    const std::string accents = std::string(120, 'x') + "\xC3\xA9\xC3\xA9\xC3\xA9" + std::string(120, 'y') + ".wav";
    ASSERT_EQ(run("render " + at("in.wav") + " -o " + at(accents) + " -q").status, 0);
    std::ofstream(at("out.wav.partial-12345-0")) << "left by kill -9";
    std::ofstream(at("out.wav.partial-AAAAAA")) << "left by kill -9";
    const Outcome result = run("render " + at("in.wav") + " -o " + at("out.wav") + " -q");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(filesIn(), (std::set<std::string>{"in.wav", longest, accents, "out.wav", "out.wav.partial-12345-0",
                                                "out.wav.partial-AAAAAA"}));
    EXPECT_EQ(readAudio(at(longest)).samples, readAudio(at("out.wav")).samples);
}

}  // namespace
