// One plug-in library with the command line's settings, rendering sources
// into outputs exactly as a host does, and reporting each render.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "cli/audio_file.h"
#include "cli/commands.h"
#include "cli/lfo_tempo.h"
#include "cli/renderer.h"
#include "cli/settings.h"

class ProgressLine;

// Where the audio of one render comes from.
struct RenderSource {
    std::string name;  // for messages: "'in.wav'", "the demo signal"
    int channels = 2;
    int sampleRate = 44100;
    int format = 0;    // libsndfile format of the input (its encoding is kept where it can be)
    AudioStrings strings;
    std::int64_t frames = -1;  // as long as this, if known (-1: a stream)
    AudioSource read;
    const AudioReader* reader = nullptr;  // for the warning about data that ends early
};

class RenderSession {
public:
    // Loads the library and resolves the settings; `defaults` as for
    // resolveSettings. Throws usage and processing ToolErrors.
    RenderSession(const CommonOptions& common, const SessionOptions& session, const RenderOptionsText& text,
                  const std::vector<std::string>& defaults = {});

    // The output format for a source of `inputFormat` written to `output`.
    int outputFormat(const std::string& output, int inputFormat) const;

    // Renders into `output`, prints the summary (unless quiet) and the
    // warnings. Throws a processing ToolError.
    void render(const RenderSource& source, const std::string& output, ProgressLine* progress);

    const std::optional<LfoTempo>& lfo() const { return lfoTempo; }
    bool quiet() const { return common.quiet; }

private:
    Settings settingsFor(int sampleRate, std::string& said);
    std::unique_ptr<PluginInstance> newInstance(const Settings& settings) const;
    void noteSampleRate(const RenderSource& source);
    // Says once how a file's channels meet a plug-in without two inputs
    // and two outputs.
    void noteChannels(int fileChannels);

    CommonOptions common;
    RenderOptionsText text;
    RenderOptions options;
    std::shared_ptr<PluginLibrary> library;
    Settings settings;
    std::unique_ptr<PluginInstance> channelProbe;  // an instance set up as for rendering, for what it reports
    std::optional<LfoTempo> lfoTempo;
    std::atomic<bool> notedChannels{false};
    std::mutex notedMutex;
    std::set<int> notedRates;
};
