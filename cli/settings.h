// Program and parameter settings given on the command line, resolved once
// against the plug-in into what a host would send: a program number and
// normalized values, applied in the order given.
#pragma once

#include <cstdint>
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
    std::vector<ParameterSetting> parameters;
};

// program: a number or a program name. Each `set` is NAME=VALUE: NAME a
// parameter name (case and padding spaces ignored; a unique start of it or
// one of its words is enough), VALUE either "norm:X" with X in 0..1 or a text
// the parameter displays. Throws a usage ToolError for anything that names
// nothing or that no setting displays. Works on a scratch instance, so the
// instances that render are set exactly as a host would set them.
Settings resolveSettings(const std::shared_ptr<PluginLibrary>& library, const std::optional<std::string>& program,
                         const std::vector<std::string>& sets);

void applySettings(PluginInstance& instance, const Settings& settings);
