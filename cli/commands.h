// The commands of the command-line host. Each returns the exit status or
// throws a ToolError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/encoding.h"

struct CommonOptions {
    std::string plugin;  // the plug-in library file
    bool quiet = false;  // no progress line and no summary; warnings still show
};

struct SessionOptions {
    std::optional<std::string> program;  // a number or a name
    std::vector<std::string> sets;       // NAME=VALUE
};

struct RenderOptionsText {
    std::int32_t blockSize = 512;
    std::string tail = "auto";  // seconds, or "auto"
    EncodingRequest encoding;
    bool trueTempo = false;     // keep the LFO on the asked tempo at any sample rate
    unsigned jobs = 0;          // 0: one per core
};

int runRender(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& render,
              std::vector<std::string> inputs, const std::optional<std::string>& listFile, const std::string& output);
int runDemo(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& render,
            const std::string& output);
int runInfo(const CommonOptions& common, const SessionOptions& session);

// The plug-in library: beside this program (a build folder), else in
// ../lib/tempo-flanger/ from its folder (an installed prefix).
std::string defaultPluginPath();
