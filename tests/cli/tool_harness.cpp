#include "tool_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

pid_t start(const Launch& launch, const std::string& tool, const std::string& capture) {
    std::vector<std::string> words;
    if (launch.asUnprivilegedUser && geteuid() == 0) {
        words = {"setpriv", "--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNoGroup),
                 "--clear-groups", "--"};
    }
    words.push_back(tool);
    words.insert(words.end(), launch.arguments.begin(), launch.arguments.end());
    int outputPipe[2] = {-1, -1};
    if (launch.closedStandardOutput && pipe(outputPipe) != 0) return -1;
    const pid_t pid = fork();
    if (pid != 0) {
        if (launch.closedStandardOutput) {
            close(outputPipe[0]);
            close(outputPipe[1]);
        }
        return pid;
    }
    const int in = open(launch.standardInput ? launch.standardInput->c_str() : "/dev/null", O_RDONLY);
    const int err = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int out = err;
    if (launch.standardOutput) out = open(launch.standardOutput->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (launch.closedStandardOutput) {
        close(outputPipe[0]);  // nobody reads: writing raises SIGPIPE
        out = outputPipe[1];
    }
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    signal(SIGPIPE, SIG_DFL);
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

Outcome finish(pid_t pid, const std::string& capture) {
    Outcome outcome;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    outcome.output = readFile(capture);
    return outcome;
}

}  // namespace

uid_t unprivilegedUid() { return geteuid() == 0 ? kNobody : geteuid(); }

void writeAudio(const fs::path& path, const Audio& audio) {
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.sampleRate;
    info.format = audio.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, audio.samples.data(), static_cast<sf_count_t>(audio.samples.size()) / audio.channels);
    sf_close(file);
}

Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    Audio audio;
    if (file == nullptr) return audio;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, audio.samples.data(), info.frames);
    audio.samples.resize(static_cast<std::size_t>(got * info.channels));
    sf_close(file);
    return audio;
}

Audio noise(int channels, int frames, int sampleRate, unsigned seed) {
    Audio audio{channels, sampleRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}};
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (int i = 0; i < frames * channels; ++i) audio.samples.push_back(uniform(random));
    return audio;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ToolTest::SetUp() {
    folder = fs::temp_directory_path() /
             ("fxrender-test-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder);
    fs::create_directories(folder / "bin");
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(FXRENDER, folder / "bin" / "fxrender");
    fs::copy_file(FLANGER_PLUGIN, folder / "bin" / fs::path(FLANGER_PLUGIN).filename());
    tool = (folder / "bin" / "fxrender").string();
    flanger = (folder / "bin" / fs::path(FLANGER_PLUGIN).filename()).string();
}

void ToolTest::TearDown() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

std::set<std::string> ToolTest::filesIn(const fs::path& where) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(where)) {
        if (entry.path().filename() != "bin") names.insert(entry.path().filename().string());
    }
    return names;
}

Outcome ToolTest::run(const std::string& arguments) const {
    Launch launch;
    std::istringstream words(arguments);
    for (std::string word; words >> word;) launch.arguments.push_back(word);
    return run(launch);
}

Outcome ToolTest::run(const Launch& launch) const {
    const std::string capture = (fs::temp_directory_path() / ("fxrender-capture-" + std::to_string(getpid()))).string();
    const Outcome outcome = finish(start(launch, tool, capture), capture);
    fs::remove(capture);
    return outcome;
}

Outcome ToolTest::interrupt(const Launch& launch, const fs::path& watch, const std::string& prefix, int signal) const {
    const std::string capture = (fs::temp_directory_path() / ("fxrender-capture-" + std::to_string(getpid()))).string();
    const pid_t pid = start(launch, tool, capture);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator(watch)) {
            seen = seen || entry.path().filename().string().rfind(prefix, 0) == 0;
        }
        if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(seen) << "no file starting with '" << prefix << "' appeared in " << watch;
    kill(pid, signal);
    const Outcome outcome = finish(pid, capture);
    fs::remove(capture);
    return outcome;
}
