#include "cli/settings.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

#include "cli/tool_error.h"

namespace {

constexpr int kGridSteps = 1000;  // coarse scan of 0..1 before refining
constexpr int kBisections = 64;
constexpr std::size_t kMaxListedDisplays = 16;

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string withoutSpaces(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c != ' ' && c != '\t') result += c;
    }
    return result;
}

std::optional<double> number(const std::string& text) {
    const std::string trimmed = trim(text);
    if (trimmed.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(trimmed.c_str(), &end);
    if (errno != 0 || end == trimmed.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long> wholeNumber(const std::string& text) {
    const std::string trimmed = trim(text);
    if (trimmed.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(trimmed.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

// Does the display text show what the user asked for?
bool shows(const std::string& display, const std::string& wanted) {
    const std::string a = lower(trim(display));
    const std::string b = lower(trim(wanted));
    if (a == b) return true;
    const auto x = number(a);
    const auto y = number(b);
    return x && y && *x == *y;
}

std::int32_t findParameter(PluginInstance& plugin, const std::string& query) {
    const std::string wanted = withoutSpaces(lower(query));
    std::vector<std::int32_t> exact, partial;
    std::string valid;
    for (std::int32_t i = 0; i < plugin.numParams(); ++i) {
        const std::string name = lower(trim(plugin.parameterName(i)));
        valid += (valid.empty() ? "" : ", ") + trim(plugin.parameterName(i));
        if (wanted.empty()) continue;
        const std::string compact = withoutSpaces(name);
        if (compact == wanted) {
            exact.push_back(i);
            continue;
        }
        bool matches = compact.rfind(wanted, 0) == 0;
        std::istringstream words(name);
        for (std::string word; words >> word;) matches = matches || word == wanted;
        if (matches) partial.push_back(i);
    }
    if (exact.size() == 1) return exact[0];
    if (exact.empty() && partial.size() == 1) return partial[0];
    const std::string why = exact.size() + partial.size() > 1 ? "names more than one parameter" : "names no parameter";
    throw usageError("--set: '" + query + "' " + why + "; parameters: " + valid);
}

// What the parameter shows over its whole range, for the error message.
std::string displayRange(PluginInstance& plugin, std::int32_t index) {
    std::vector<std::string> seen;
    std::set<std::string> distinct;
    for (int step = 0; step <= kGridSteps; step += 10) {
        plugin.setParameter(index, static_cast<float>(step) / kGridSteps);
        const std::string shown = trim(plugin.parameterDisplay(index));
        if (distinct.insert(shown).second) seen.push_back(shown);
    }
    if (seen.size() <= kMaxListedDisplays) {
        std::string list;
        for (const auto& text : seen) list += (list.empty() ? "" : ", ") + text;
        return "it shows " + list;
    }
    return "it shows " + seen.front() + " to " + seen.back();
}

float resolveValue(PluginInstance& plugin, std::int32_t index, const std::string& name, const std::string& text) {
    const std::string value = trim(text);
    if (lower(value).rfind("norm:", 0) == 0) {
        const auto normalized = number(value.substr(5));
        if (!normalized || *normalized < 0.0 || *normalized > 1.0) {
            throw usageError("--set " + name + ": '" + value.substr(5) + "' is not a normalized value from 0 to 1");
        }
        return static_cast<float>(*normalized);
    }
    const float before = plugin.getParameter(index);
    auto display = [&](double v) {
        plugin.setParameter(index, static_cast<float>(v));
        return plugin.parameterDisplay(index);
    };
    // Scan the range; a run of grid points that show the value gives its
    // middle, which is far from the zone's edges.
    int runStart = -1, runEnd = -1;
    std::vector<std::optional<double>> numeric(kGridSteps + 1);
    for (int step = 0; step <= kGridSteps; ++step) {
        const std::string shown = display(static_cast<double>(step) / kGridSteps);
        numeric[static_cast<std::size_t>(step)] = number(shown);
        if (shows(shown, value)) {
            if (runStart < 0) runStart = step;
            runEnd = step;
        } else if (runStart >= 0) {
            break;
        }
    }
    if (runStart >= 0) {
        plugin.setParameter(index, before);
        return static_cast<float>((runStart + runEnd) / 2) / kGridSteps;
    }
    // A numeric value between two grid points: bisect where the display
    // crosses it.
    if (const auto target = number(value)) {
        for (int step = 0; step < kGridSteps; ++step) {
            const auto a = numeric[static_cast<std::size_t>(step)];
            const auto b = numeric[static_cast<std::size_t>(step) + 1];
            if (!a || !b || (*target - *a) * (*target - *b) > 0) continue;
            double lo = static_cast<double>(step) / kGridSteps, hi = static_cast<double>(step + 1) / kGridSteps;
            for (int i = 0; i < kBisections; ++i) {
                const double mid = static_cast<float>((lo + hi) / 2);
                const std::string shown = display(mid);
                if (shows(shown, value)) {
                    plugin.setParameter(index, before);
                    return static_cast<float>(mid);
                }
                const auto m = number(shown);
                if (!m) break;
                if ((*target - *a) * (*target - *m) <= 0) {
                    hi = mid;
                } else {
                    lo = mid;
                }
            }
        }
    }
    const std::string range = displayRange(plugin, index);
    plugin.setParameter(index, before);
    throw usageError("--set " + name + ": no setting shows '" + value + "'; " + range);
}

}  // namespace

Settings resolveSettings(const std::shared_ptr<PluginLibrary>& library, const std::optional<std::string>& program,
                         const std::vector<std::string>& sets) {
    Settings settings;
    std::unique_ptr<PluginInstance> scratch;
    try {
        scratch = PluginInstance::create(library);
    } catch (const PluginError& error) {
        throw processingError(error.what());
    }
    scratch->open();
    if (program) {
        const auto number = wholeNumber(*program);
        if (number) {
            if (*number < 0 || *number >= scratch->numPrograms()) {
                throw usageError("--program: " + *program + " is not a program; programs are 0 to " +
                                 std::to_string(scratch->numPrograms() - 1));
            }
            settings.program = static_cast<std::int32_t>(*number);
        } else {
            std::string names;
            for (std::int32_t p = 0; p < scratch->numPrograms() && !settings.program; ++p) {
                scratch->setProgram(p);
                const std::string name = trim(scratch->programName());
                if (lower(name) == lower(trim(*program))) settings.program = p;
                names += (names.empty() ? "'" : ", '") + name + "'";
            }
            if (!settings.program) {
                throw usageError("--program: no program is named '" + *program + "'; programs: " + names);
            }
        }
        scratch->setProgram(*settings.program);
    }
    for (const std::string& set : sets) {
        const auto equals = set.find('=');
        if (equals == std::string::npos) throw usageError("--set: '" + set + "' is not NAME=VALUE");
        const std::string name = trim(set.substr(0, equals));
        const std::int32_t index = findParameter(*scratch, name);
        const float value = resolveValue(*scratch, index, name, set.substr(equals + 1));
        scratch->setParameter(index, value);
        settings.parameters.push_back({index, value});
    }
    return settings;
}

void applySettings(PluginInstance& instance, const Settings& settings) {
    if (settings.program) instance.setProgram(*settings.program);
    for (const auto& setting : settings.parameters) instance.setParameter(setting.index, setting.value);
}
