// The findings of one check, written line by line ("PASS<TAB>detail") to
// the result file with no buffering, so that a crash keeps them.
#pragma once

#include <string>
#include <string_view>

// A check's result on one finding.
enum class Verdict { pass, note, warn, fail };

// "PASS", "NOTE", "WARN", "FAIL": as the result file and the tables show it.
std::string_view verdictName(Verdict verdict);
// The verdict a name stands for; false for none.
bool verdictNamed(std::string_view name, Verdict& verdict);

class Report {
public:
    explicit Report(const std::string& file);

    // The result file, for the crash report (a descriptor, or a HANDLE's value).
    long long descriptor() const { return file; }
    void add(Verdict verdict, const std::string& detail);
    void pass(const std::string& detail) { add(Verdict::pass, detail); }
    void note(const std::string& detail) { add(Verdict::note, detail); }
    void warn(const std::string& detail) { add(Verdict::warn, detail); }
    void fail(const std::string& detail) { add(Verdict::fail, detail); }
    // How long making an instance took, for scaling the later checks.
    void time(double seconds);

    // The tag of a time line in the result file.
    static constexpr std::string_view kTime = "TIME";

private:
    void write(std::string_view tag, const std::string& detail);

    long long file;
};
