// The word a user probably meant: among candidates, the one fewest edits
// (insertions, deletions, substitutions; letters' case ignored) away.
#pragma once

#include <string>
#include <vector>

// The nearest candidate within `most` edits, or one that begins with the
// word; empty when there is none (or the word is already a candidate).
std::string nearestWord(const std::string& word, const std::vector<std::string>& candidates, std::size_t most);
