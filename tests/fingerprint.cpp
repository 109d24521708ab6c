#include "fingerprint.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fingerprint {
namespace {

constexpr std::uint64_t kPrime = 1099511628211ull;

std::string tablePath(const std::string& name) { return std::string(REFERENCE_DIR) + "/" + name + ".fingerprints"; }

// One line per block: the block's fingerprint in each channel, in hex.
std::vector<std::string> blockLines(const Render& render) {
    std::vector<std::string> lines;
    const std::size_t frames = render.channels.empty() ? 0 : render.channels[0].size();
    for (std::size_t start = 0; start < frames; start += kBlockFrames) {
        const std::size_t count = std::min(kBlockFrames, frames - start);
        std::string line;
        for (const auto& channel : render.channels) {
            char hex[24];
            std::snprintf(hex, sizeof hex, "%016" PRIx64, of(channel.data() + start, count));
            line += (line.empty() ? "" : " ") + std::string(hex);
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::uint64_t of(const float* samples, std::size_t count, std::uint64_t hash) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        for (int byte = 0; byte < 4; ++byte) {
            hash ^= (bits >> (8 * byte)) & 0xFFu;
            hash *= kPrime;
        }
    }
    return hash;
}

Render fromInterleaved(const std::vector<float>& samples, int channels) {
    Render render;
    render.interleaved = true;
    render.channels.resize(static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        render.channels[i % static_cast<std::size_t>(channels)].push_back(samples[i]);
    }
    return render;
}

::testing::AssertionResult matches(const Render& render, std::uint64_t expected, const std::string& name) {
    std::uint64_t hash = 14695981039346656037ull;
    if (render.interleaved) {
        const std::size_t frames = render.channels.empty() ? 0 : render.channels[0].size();
        for (std::size_t f = 0; f < frames; ++f) {
            for (const auto& channel : render.channels) hash = of(&channel[f], 1, hash);
        }
    } else {
        for (const auto& channel : render.channels) hash = of(channel.data(), channel.size(), hash);
    }
    const std::vector<std::string> lines = blockLines(render);
    std::vector<std::string> table;
    std::ifstream in(tablePath(name));
    for (std::string line; std::getline(in, line);) table.push_back(line);
    const char* write = std::getenv("TF_WRITE_FINGERPRINTS");
    if (write != nullptr && std::strcmp(write, "1") == 0 && table != lines) {
        std::ofstream out(tablePath(name));
        for (const auto& line : lines) out << line << "\n";
    }
    if (hash == expected) return ::testing::AssertionSuccess();

    auto failure = ::testing::AssertionFailure();
    failure << "fingerprint " << hash << ", expected " << expected << ": ";
    for (std::size_t block = 0; block < lines.size(); ++block) {
        if (block >= table.size()) {
            failure << "frames from " << block * kBlockFrames << " on are past the table " << tablePath(name);
            return failure;
        }
        if (lines[block] == table[block]) continue;
        std::istringstream got(lines[block]), want(table[block]);
        std::string a, b;
        for (std::size_t c = 0; got >> a && want >> b; ++c) {
            if (a == b) continue;
            const std::size_t first = block * kBlockFrames;
            const std::size_t frames = render.channels[c].size();
            failure << "channel " << c << " first differs in frames " << first << " to "
                    << std::min(first + kBlockFrames, frames) - 1;
            return failure;
        }
    }
    failure << "every block matches the table " << tablePath(name) << " (a table out of date?)";
    return failure;
}

}  // namespace fingerprint
