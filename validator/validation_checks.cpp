#include "validator/validation_checks.h"

#include <algorithm>
#include <cstdio>

#include "loader/plugin_library.h"
#include "validator/call_log.h"
#include "validator/checks/report.h"
#include "validator/crash_report.h"

namespace {

// The topics' checks in order; a --strict one runs after all the others.
const std::vector<Check>& checks() {
    static const std::vector<Check> all = [] {
        std::vector<Check> list;
        for (auto topic : {loadingChecks, opcodeChecks, parameterChecks, stateChecks, audioChecks, threadChecks,
                           costChecks}) {
            for (const Check& check : topic()) list.push_back(check);
        }
        std::stable_partition(list.begin(), list.end(), [](const Check& check) { return !check.info.strictOnly; });
        return list;
    }();
    return all;
}

}  // namespace

const std::vector<CheckInfo>& validationChecks() {
    static const std::vector<CheckInfo> infos = [] {
        std::vector<CheckInfo> list;
        for (const auto& check : checks()) list.push_back(check.info);
        return list;
    }();
    return infos;
}

std::string checkDemand(const CheckInfo& check) {
    std::string text = check.severity == Severity::notes   ? "(a note only) "
                       : check.severity == Severity::warns ? "(a warning only) "
                                                           : "";
    text += check.demand;
    if (check.strictOnly) text += " (--strict)";
    return text;
}

int runValidationCheck(const CheckRequest& request) {
    Report report(request.resultFile);
    if (!request.callLog.empty()) CallLog::open(request.callLog);
    CrashReport::install(report.descriptor());
    for (const auto& check : checks()) {
        if (request.check != check.info.name) continue;
        Context context{report, request.plugin, request.strict, request.seed, request.instanceSeconds};
        try {
            check.run(context);
        } catch (const PluginError& error) {
            report.fail(error.what());
        } catch (const std::exception& error) {
            // An exception crossing the interface ends a host.
            report.fail(std::string("an exception (") + error.what() + ") came out of the plug-in, in " + CallLog::current());
        }
        std::fflush(stdout);
        return 0;
    }
    report.fail("no check named " + request.check);
    return 1;
}
