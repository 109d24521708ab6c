// Program and parameter settings given on the command line, resolved once
// against the plug-in into what a host restoring a project sends: the
// program first, then normalized values in parameter index order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "loader/plugin_instance.h"

struct ParameterSetting {
    std::int32_t index;
    float value;  // normalized
};

struct Settings {
    std::optional<std::int32_t> program;
    std::vector<ParameterSetting> parameters;  // ascending index, each index once
};

// program: a number or a program name. Each `set` is NAME=VALUE: NAME a
// parameter name (case and padding spaces ignored; a unique start of it or
// one of its words is enough), VALUE either "norm:X" with X in 0..1 or a text
// the parameter displays. Among the values that display the text, the one
// taken is exact where the display allows: a range end when an end shows it
// (or shows it to the digits typed: "12.04" for "12.04119"), else the value
// at which a display that is linear between its ends gives the number
// exactly ("130" for a range shown as 60 to 200 is 0.5), else the simplest
// value near the middle of those that show it. `defaults` (same form) apply
// to parameters that `sets` does not name, when no program is given.
// Throws a usage ToolError for anything that names nothing, a parameter
// named twice, or a text no setting displays. Works on a scratch instance,
// so the instances that render are set exactly as a host would set them.
Settings resolveSettings(const std::shared_ptr<PluginLibrary>& library, const std::optional<std::string>& program,
                         const std::vector<std::string>& sets, const std::vector<std::string>& defaults = {});

// Selects the program, then sets the parameters in index order; several
// are set twice over, so that each is set after all the others, as when a
// user sets them one by one and listens.
void applySettings(PluginInstance& instance, const Settings& settings);
