#include "cli/settings.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

#include "cli/nearest_word.h"
#include "cli/tool_error.h"

namespace {

constexpr int kGridSteps = 1000;   // coarse scan of 0..1 before refining
constexpr int kBisections = 64;
constexpr int kMaxDecimals = 9;    // digits tried for a simple normalized value
constexpr std::size_t kMaxListedDisplays = 16;
// Just inside the range ends: a display that differs only at the end itself
// ("off" at 0, "0" just above) still names that end.
constexpr float kNearEnd = 1.0f / (1 << 20);

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

// Digits after the decimal point of a plainly written number ("12.04": 2).
std::optional<int> decimalsTyped(const std::string& text) {
    const std::string trimmed = trim(text);
    if (!number(trimmed) || trimmed.find_first_of("eExXnN") != std::string::npos) return std::nullopt;
    const auto point = trimmed.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(trimmed.size() - point - 1);
}

// The display shows exactly what was asked: the same text, or the same number.
bool showsExactly(const std::string& display, const std::string& wanted) {
    if (lower(trim(display)) == lower(trim(wanted))) return true;
    const auto x = number(display);
    const auto y = number(wanted);
    return x && y && *x == *y;
}

// The display, rounded to the digits typed, is the number asked for.
bool showsToTheDigitsTyped(const std::string& display, const std::string& wanted) {
    const auto x = number(display);
    const auto y = number(wanted);
    const auto decimals = decimalsTyped(wanted);
    if (!x || !y || !decimals) return false;
    const double scale = std::pow(10.0, *decimals);
    return std::fabs(std::round(*x * scale) - *y * scale) < 1e-6;
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

// Finds the normalized value of one parameter that displays a text, on a
// scratch instance; leaves the parameter as it found it.
class DisplayedValueFinder {
public:
    DisplayedValueFinder(PluginInstance& plugin, std::int32_t index, std::string name)
        : plugin(plugin), index(index), name(std::move(name)), before(plugin.getParameter(index)) {}
    ~DisplayedValueFinder() { plugin.setParameter(index, before); }

    DisplayedValueFinder(const DisplayedValueFinder&) = delete;
    DisplayedValueFinder& operator=(const DisplayedValueFinder&) = delete;

    float find(const std::string& text) {
        const std::string value = trim(text);
        if (lower(value).rfind("norm:", 0) == 0) return normalized(value.substr(5));
        for (float end : {0.0f, 1.0f}) {
            if (showsExactly(show(end), value)) return end;
        }
        if (showsExactly(show(kNearEnd), value)) return 0.0f;
        if (showsExactly(show(1.0f - kNearEnd), value)) return 1.0f;
        for (float end : {0.0f, 1.0f}) {
            if (showsToTheDigitsTyped(show(end), value)) return end;
        }
        const auto [low, high] = valuesShowing(value);
        if (const auto exact = linearValue(value, low, high)) return *exact;
        return simplestNearMiddle(value, low, high);
    }

private:
    std::string show(float v) {
        plugin.setParameter(index, v);
        return trim(plugin.parameterDisplay(index));
    }

    float normalized(const std::string& text) const {
        const auto x = number(text);
        if (!x || *x < 0.0 || *x > 1.0) {
            throw usageError("--set " + name + ": '" + text + "' is not a normalized value from 0 to 1");
        }
        return static_cast<float>(*x);
    }

    // The first run of values that show the text, its ends refined to
    // neighbouring floats: [low, high].
    std::pair<float, float> valuesShowing(const std::string& value) {
        std::vector<std::string> grid(kGridSteps + 1);
        int first = -1, last = -1;
        for (int step = 0; step <= kGridSteps; ++step) {
            grid[static_cast<std::size_t>(step)] = show(gridValue(step));
            if (showsExactly(grid[static_cast<std::size_t>(step)], value)) {
                if (first < 0) first = step;
                last = step;
            } else if (first >= 0) {
                break;
            }
        }
        if (first < 0) {
            // A number shown only between two grid points: bisect where the
            // display crosses it.
            const std::optional<float> inside = crossing(value, grid);
            if (!inside) throw usageError("--set " + name + ": no setting shows '" + value + "'; " + displayRange() + hint(value));
            return {edge(value, *inside, first > 0 ? gridValue(first - 1) : 0.0f),
                    edge(value, *inside, 1.0f)};
        }
        return {edge(value, gridValue(first), first > 0 ? gridValue(first - 1) : 0.0f),
                edge(value, gridValue(last), last < kGridSteps ? gridValue(last + 1) : 1.0f)};
    }

    static float gridValue(int step) { return static_cast<float>(step) / kGridSteps; }

    std::optional<float> crossing(const std::string& value, const std::vector<std::string>& grid) {
        const auto target = number(value);
        if (!target) return std::nullopt;
        for (int step = 0; step < kGridSteps; ++step) {
            const auto a = number(grid[static_cast<std::size_t>(step)]);
            const auto b = number(grid[static_cast<std::size_t>(step) + 1]);
            if (!a || !b || (*target - *a) * (*target - *b) > 0) continue;
            float lo = gridValue(step), hi = gridValue(step + 1);
            for (int i = 0; i < kBisections; ++i) {
                const float mid = lo + (hi - lo) / 2;
                if (mid <= lo || mid >= hi) break;
                const std::string shown = show(mid);
                if (showsExactly(shown, value)) return mid;
                const auto m = number(shown);
                if (!m) break;
                if ((*target - *a) * (*target - *m) <= 0) {
                    hi = mid;
                } else {
                    lo = mid;
                }
            }
        }
        return std::nullopt;
    }

    // The last value from `inside` towards `outside` that still shows the text.
    float edge(const std::string& value, float inside, float outside) {
        if (showsExactly(show(outside), value)) return outside;
        for (int i = 0; i < kBisections; ++i) {
            const float mid = inside + (outside - inside) / 2;
            if (mid == inside || mid == outside) break;
            if (showsExactly(show(mid), value)) {
                inside = mid;
            } else {
                outside = mid;
            }
        }
        return inside;
    }

    // Where the ends display numbers, the value at which a display linear
    // between them shows the asked number exactly.
    std::optional<float> linearValue(const std::string& value, float low, float high) {
        const auto target = number(value);
        const auto atZero = number(show(0.0f));
        const auto atOne = number(show(1.0f));
        if (!target || !atZero || !atOne || *atZero == *atOne) return std::nullopt;
        const auto v = static_cast<float>((*target - *atZero) / (*atOne - *atZero));
        if (!(v >= low && v <= high) || !showsExactly(show(v), value)) return std::nullopt;
        return v;
    }

    // The value with the fewest decimals within a quarter of the run's
    // width from its middle (0.25 rather than 0.2500013), else the middle.
    float simplestNearMiddle(const std::string& value, float low, float high) {
        const double middle = (static_cast<double>(low) + high) / 2;
        const double reach = (static_cast<double>(high) - low) / 4;
        double scale = 1.0;
        for (int digits = 0; digits <= kMaxDecimals; ++digits, scale *= 10.0) {
            const auto candidate = static_cast<float>(std::round(middle * scale) / scale);
            if (std::fabs(candidate - middle) <= reach && candidate >= low && candidate <= high &&
                showsExactly(show(candidate), value)) {
                return candidate;
            }
        }
        return static_cast<float>(middle);
    }

    // What the parameter shows over its whole range, for the error message.
    // The distinct displays over the whole range, in order.
    std::vector<std::string> displays() {
        std::vector<std::string> seen;
        std::set<std::string> distinct;
        for (int step = 0; step <= kGridSteps; step += 10) {
            const std::string shown = show(gridValue(step));
            if (distinct.insert(shown).second) seen.push_back(shown);
        }
        return seen;
    }

    // What the user may have meant: the nearest display for a word, the
    // host's own values for a number between the displays.
    std::string hint(const std::string& value) {
        if (number(value)) return "; between what it shows, give the host's value as norm:X, X from 0 to 1";
        const std::string nearest = nearestWord(value, displays(), 2);
        return nearest.empty() ? "" : "; did you mean '" + nearest + "'?";
    }

    std::string displayRange() {
        const std::vector<std::string> seen = displays();
        if (seen.size() <= kMaxListedDisplays) {
            std::string list;
            for (const auto& text : seen) list += (list.empty() ? "" : ", ") + text;
            return "it shows " + list;
        }
        return "it shows " + seen.front() + " to " + seen.back();
    }

    PluginInstance& plugin;
    std::int32_t index;
    std::string name;
    float before;
};

struct Request {
    std::string name;   // as typed
    std::string value;  // as typed
};

// NAME=VALUE settings by parameter index; a parameter named twice is an error.
std::map<std::int32_t, Request> byIndex(PluginInstance& plugin, const std::vector<std::string>& sets) {
    std::map<std::int32_t, Request> requests;
    for (const std::string& set : sets) {
        const auto equals = set.find('=');
        if (equals == std::string::npos) throw usageError("--set: '" + set + "' is not NAME=VALUE");
        const std::string name = trim(set.substr(0, equals));
        const std::int32_t index = findParameter(plugin, name);
        const auto [at, added] = requests.emplace(index, Request{name, set.substr(equals + 1)});
        if (!added) {
            throw usageError("--set: '" + at->second.name + "' and '" + name + "' both set " +
                             trim(plugin.parameterName(index)) + "; give each parameter once");
        }
    }
    return requests;
}

std::int32_t findProgram(PluginInstance& scratch, const std::string& program) {
    if (const auto number = wholeNumber(program)) {
        if (*number < 0 || *number >= scratch.numPrograms()) {
            throw usageError("--program: " + program + " is not a program; programs are 0 to " +
                             std::to_string(scratch.numPrograms() - 1));
        }
        return static_cast<std::int32_t>(*number);
    }
    std::string names;
    for (std::int32_t p = 0; p < scratch.numPrograms(); ++p) {
        scratch.setProgram(p);
        const std::string name = trim(scratch.programName());
        if (lower(name) == lower(trim(program))) return p;
        names += (names.empty() ? "'" : ", '") + name + "'";
    }
    throw usageError("--program: no program is named '" + program + "'; programs: " + names);
}

}  // namespace

Settings resolveSettings(const std::shared_ptr<PluginLibrary>& library, const std::optional<std::string>& program,
                         const std::vector<std::string>& sets, const std::vector<std::string>& defaults) {
    Settings settings;
    std::unique_ptr<PluginInstance> scratch;
    try {
        scratch = PluginInstance::create(library);
    } catch (const PluginError& error) {
        throw processingError(error.what());
    }
    scratch->open();
    std::map<std::int32_t, Request> requests = byIndex(*scratch, sets);
    if (program) {
        settings.program = findProgram(*scratch, *program);
        scratch->setProgram(*settings.program);
    } else {
        for (auto& [index, request] : byIndex(*scratch, defaults)) requests.emplace(index, request);
    }
    for (const auto& [index, request] : requests) {
        const float value = DisplayedValueFinder(*scratch, index, request.name).find(request.value);
        scratch->setParameter(index, value);
        settings.parameters.push_back({index, value});
    }
    return settings;
}

void applySettings(PluginInstance& instance, const Settings& settings) {
    if (settings.program) instance.setProgram(*settings.program);
    // Twice when there are several: a parameter whose effect depends on
    // another's value (a delay that only applies while modulation is off)
    // then sees every other one as it ends.
    const int rounds = settings.parameters.size() > 1 ? 2 : 1;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& setting : settings.parameters) instance.setParameter(setting.index, setting.value);
    }
}
