#include "loader/plugin_library.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
void* openHandle(const std::string& path, std::string& reason) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) reason = "cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(module);
}
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void closeHandle(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* openHandle(const std::string& path, std::string& reason) {
    // A name without a slash would be looked up in the system's library path.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        reason = std::string("cannot be loaded: ") + (error != nullptr ? error : "unknown error");
    }
    return handle;
}
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeHandle(void* handle) { dlclose(handle); }
#endif

}  // namespace

std::shared_ptr<PluginLibrary> PluginLibrary::open(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) throw PluginError("'" + path + "': does not exist");
    if (std::filesystem::is_directory(path, error)) throw PluginError("'" + path + "': is a folder");
    std::string reason;
    void* handle = openHandle(path, reason);
    if (handle == nullptr) throw PluginError("'" + path + "': " + reason);
    void* symbol = findSymbol(handle, "main");
    if (symbol == nullptr) {
        closeHandle(handle);
        throw PluginError("'" + path + "': exports no 'main': not a library of interface version 1.0");
    }
    return std::shared_ptr<PluginLibrary>(
        new PluginLibrary(path, handle, reinterpret_cast<PluginMainProc>(symbol)));
}

PluginLibrary::PluginLibrary(std::string path, void* handle, PluginMainProc mainProc)
    : filePath(std::move(path)), handle(handle), mainProc(mainProc) {}

PluginLibrary::~PluginLibrary() { closeHandle(handle); }
