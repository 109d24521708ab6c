#include "cli/nearest_word.h"

#include <algorithm>
#include <cctype>

namespace {

std::string folded(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::size_t edits(const std::string& from, const std::string& to) {
    std::vector<std::size_t> row(to.size() + 1);
    for (std::size_t j = 0; j <= to.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= from.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= to.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (from[i - 1] == to[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[to.size()];
}

}  // namespace

std::string nearestWord(const std::string& word, const std::vector<std::string>& candidates, std::size_t most) {
    const std::string wanted = folded(word);
    std::size_t best = most + 1;
    std::string nearest;
    for (const auto& candidate : candidates) {
        const std::string name = folded(candidate);
        if (name == wanted) return {};
        const std::size_t distance = !wanted.empty() && name.rfind(wanted, 0) == 0 ? 1 : edits(wanted, name);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}
