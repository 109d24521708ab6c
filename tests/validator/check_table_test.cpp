// The README's table of the validator's checks is the checks' own
// declarations: a check added, renamed or reworded shows here until the
// table says the same.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "validator/validation_checks.h"

namespace {

// A check's row as the README writes it.
std::string row(const CheckInfo& check) {
    std::string marks;
    if (check.strictOnly) marks += "`--strict`";
    if (check.severity != Severity::fails) {
        marks += (marks.empty() ? "" : ", ") + std::string(check.severity == Severity::notes ? "NOTE only" : "WARN only");
    }
    const std::string demand = (marks.empty() ? "" : "(" + marks + ") ") + std::string(check.demand);
    return "| " + std::string(check.name) + " | " + demand + " | " + std::string(check.why) + " |";
}

std::vector<std::string> readmeRows() {
    std::ifstream in(README_FILE);
    std::vector<std::string> rows;
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "| Check | What is required | Why |") {
            inTable = true;
            std::getline(in, line);  // the rule under the header
            continue;
        }
        if (!inTable) continue;
        if (line.empty() || line[0] != '|') break;
        rows.push_back(line);
    }
    return rows;
}

TEST(CheckTable, TheReadmeSaysWhatTheDeclarationsSay) {
    std::vector<std::string> expected;
    for (const CheckInfo& check : validationChecks()) expected.push_back(row(check));
    const std::vector<std::string> found = readmeRows();
    std::ostringstream table;
    for (const auto& line : expected) table << line << "\n";
    EXPECT_EQ(found, expected) << "the README's table should read:\n" << table.str();
}

}  // namespace
