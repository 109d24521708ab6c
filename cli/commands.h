// The commands of the command-line host. Each returns the exit status or
// throws a ToolError.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

struct CommonOptions {
    std::string plugin;  // the plug-in library file
    bool quiet = false;  // no progress line and no summary
};

struct SessionOptions {
    std::optional<std::string> program;  // a number or a name
    std::vector<std::string> sets;       // NAME=VALUE, in order
};

struct RenderOptionsText {
    std::int32_t blockSize = 512;
    std::string tail = "auto";  // seconds, or "auto"
    bool wantFloat = false;
    unsigned jobs = 0;  // 0: one per core
};

// Set to true by SIGINT or SIGTERM; renders stop and leave nothing behind.
extern std::atomic<bool> interrupted;

int runRender(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& render,
              const std::vector<std::string>& inputs, const std::string& output);
int runDemo(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& render,
            const std::string& output);
int runInfo(const CommonOptions& common, const SessionOptions& session);

// The plug-in library built beside this program.
std::string defaultPluginPath();
