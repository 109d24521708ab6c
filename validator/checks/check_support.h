// What the checks share: how a host of the interface calls a plug-in (each
// call written to the call log first, so that a crash names it), the
// host's buffers and announced settings, and the texts a plug-in writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loader/plugin_instance.h"
#include "validator/checks/report.h"

namespace checksupport {

inline constexpr std::size_t kTextBuffer = 256;   // what careful hosts reserve for a text
inline constexpr std::int32_t kAnnouncedBlock = 512;  // frames a host announces
inline constexpr float kHostRate = 44100.0f;      // Hz a host announces
inline constexpr std::int64_t kMaxChunkBytes = std::int64_t{256} << 20;
inline constexpr std::int32_t kMaxProgramsChecked = 512;
inline constexpr std::int32_t kMaxParametersChecked = 2048;

std::string str(double value);

std::shared_ptr<PluginLibrary> openLibrary(const std::string& plugin);
// An instance made through main and opened (opcode 0).
std::unique_ptr<PluginInstance> makeInstance(const std::shared_ptr<PluginLibrary>& library,
                                             std::shared_ptr<HostSide> host = nullptr);

std::intptr_t call(PluginInstance& plugin, std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                   void* ptr = nullptr, float opt = 0.0f);
void setParameter(PluginInstance& plugin, std::int32_t index, float value);
float getParameter(PluginInstance& plugin, std::int32_t index);
// Sample rate and block size announced, then switched on.
void switchOn(PluginInstance& plugin, float rate = kHostRate, std::int32_t block = kAnnouncedBlock);

// One block through replacing processing where it is offered, else through
// the adding entry into cleared outputs (`adding`: the adding entry as it is).
void processBlock(PluginInstance& plugin, float** inputs, float** outputs, std::int32_t outputCount,
                  std::int32_t frames, bool adding = false);
bool finite(float** channels, std::int32_t count, std::int32_t frames);
// A second of noise through an instance, block by block; every output
// channel, one after the other.
std::vector<float> renderNoise(PluginInstance& plugin, std::uint32_t seed);

// A text read through a host buffer of kTextBuffer bytes that ends at a
// guard page, prefilled so that what the plug-in wrote can be told.
TextReading readText(PluginInstance& plugin, std::int32_t opcode, std::int32_t index, const char* what);

// Texts that are long or odd, counted over a check.
struct TextTally {
    std::size_t overShortTexts = 0;
    std::size_t overShortHost = 0;
    std::size_t controlCharacters = 0;
};
// Judges a text; false when it failed (no terminator in the buffer).
bool judgeText(Report& report, const TextReading& text, const std::string& what, TextTally& tally);

}  // namespace checksupport
