// Host side: a plug-in library file opened and its `main` resolved.
// The library stays loaded for as long as any PluginLibrary or instance made
// from it holds it (instances keep a shared_ptr).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "interface/effect_record.h"

// A plug-in that cannot be used: the message names the file and the reason.
class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginLibrary {
public:
    // Throws PluginError when the file is missing, is not a loadable library
    // of this process's kind, or has no `main`.
    static std::shared_ptr<PluginLibrary> open(const std::string& path);
    ~PluginLibrary();

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return filePath; }
    PluginMainProc entry() const { return mainProc; }

private:
    PluginLibrary(std::string path, void* handle, PluginMainProc mainProc);

    std::string filePath;
    void* handle;
    PluginMainProc mainProc;
};
