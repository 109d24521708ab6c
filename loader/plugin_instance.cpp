#include "loader/plugin_instance.h"

#include <cstring>
#include <map>

namespace {

constexpr std::size_t kGuardedBytes = 512;
constexpr unsigned char kGuardByte = 0xA5;

// Instances the host knows, so that a request names its HostSide. During a
// call of `main` the record does not exist yet; that request goes to the
// HostSide of the instance being created on this thread.
std::mutex registryMutex;
std::map<const EffectRecord*, HostSide*> registry;
thread_local HostSide* creating = nullptr;

std::intptr_t PLUGIN_CALL hostCallback(EffectRecord* effect, std::int32_t request, std::int32_t index,
                                       std::intptr_t value, void* /*ptr*/, float opt) {
    HostSide* side = nullptr;
    if (effect == nullptr) {
        side = creating;
    } else {
        const std::lock_guard<std::mutex> lock(registryMutex);
        const auto found = registry.find(effect);
        if (found != registry.end()) side = found->second;
    }
    if (side == nullptr) side = creating;
    const HostRequestRecord record{effect, request, index, value, opt};
    return side != nullptr ? side->answer(record) : 0;
}

}  // namespace

std::intptr_t HostSide::answer(const HostRequestRecord& request) {
    if (keeping) {
        const std::lock_guard<std::mutex> lock(mutex);
        log.push_back(request);
    }
    return request.request == kRequestVersion ? versionAnswer : 0;
}

std::vector<HostRequestRecord> HostSide::requests() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return log;
}

std::unique_ptr<PluginInstance> PluginInstance::create(std::shared_ptr<PluginLibrary> library,
                                                       std::shared_ptr<HostSide> host) {
    if (!host) host = std::make_shared<HostSide>();
    creating = host.get();
    EffectRecord* effect = library->entry()(hostCallback);
    creating = nullptr;
    if (effect == nullptr) throw PluginError("'" + library->path() + "': refused to create an instance");
    if (effect->magic != kRecordMagic) {
        throw PluginError("'" + library->path() + "': answered a record without the interface's magic");
    }
    // The record's `object` is the plug-in's own business: hosts never read it.
    if (effect->dispatcher == nullptr) {
        throw PluginError("'" + library->path() + "': answered a record without a dispatcher");
    }
    {
        const std::lock_guard<std::mutex> lock(registryMutex);
        registry[effect] = host.get();
    }
    return std::unique_ptr<PluginInstance>(new PluginInstance(std::move(library), std::move(host), effect));
}

PluginInstance::PluginInstance(std::shared_ptr<PluginLibrary> library, std::shared_ptr<HostSide> host,
                               EffectRecord* effect)
    : library(std::move(library)), hostSide(std::move(host)), effect(effect) {}

PluginInstance::~PluginInstance() {
    effect->dispatcher(effect, kOpClose, 0, 0, nullptr, 0.0f);
    const std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(effect);
}

std::intptr_t PluginInstance::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                       void* ptr, float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void PluginInstance::setProgramName(const std::string& name) {
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    dispatch(kOpSetProgramName, 0, 0, text.data());
}

TextReading PluginInstance::readText(std::int32_t opcode, std::int32_t index, std::size_t width) {
    unsigned char buffer[kGuardedBytes];
    return readText(opcode, index, width, buffer, sizeof buffer);
}

TextReading PluginInstance::readText(std::int32_t opcode, std::int32_t index, std::size_t width, unsigned char* buffer,
                                     std::size_t size) {
    std::memset(buffer, kGuardByte, size);
    dispatch(opcode, index, 0, buffer);
    TextReading reading{};
    for (std::size_t i = size; i > 0; --i) {
        if (buffer[i - 1] != kGuardByte) {
            reading.touched = true;
            reading.extent = i;
            break;
        }
    }
    if (!reading.touched) return reading;
    const void* end = std::memchr(buffer, '\0', reading.extent);
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(end) - buffer) : reading.extent;
    reading.terminated = end != nullptr && length <= width;
    reading.text.assign(reinterpret_cast<const char*>(buffer), length);
    return reading;
}

bool PluginInstance::process(float* const* inputs, float* const* outputs, std::int32_t frames) {
    if (effect->process == nullptr) return false;
    effect->process(effect, const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
    return true;
}

bool PluginInstance::processReplacing(float* const* inputs, float* const* outputs, std::int32_t frames) {
    if (effect->processReplacing == nullptr) return false;
    effect->processReplacing(effect, const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
    return true;
}
