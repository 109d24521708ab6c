// Replays fuzzer inputs without libFuzzer: every file named on the command
// line, or every file in a folder named there. Exit status 0 when all ran.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::size_t replayed = 0;
    for (int a = 1; a < argc; ++a) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[a])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[a])) files.push_back(entry.path());
        } else {
            files.emplace_back(argv[a]);
        }
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
