// A small LV2 host for the tests: loads the bundle built beside them through
// lilv, instantiates the plug-in with a URID map, connects every port and
// runs it block by block, optionally with a time:Position event that tells
// the host's tempo and, as Ardour sends it, where its song is.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// What one time:Position event tells.
struct HostPosition {
    double bpm = 0.0;    // 0: no tempo (NaN and negative values are sent as they are)
    float speed = 1.0f;  // 0: the transport stands still
    bool song = false;   // also the place: time:frame, and time:bar, time:barBeat and time:beatsPerBar
    std::int64_t frame = 0;
    double beat = 0.0;  // beats from the song's start, sent as bar and barBeat (a float), 4 beats a bar
    bool ticks = false;  // barBeat rounded to a tick of 1/1920 beat, as Ardour sends it
    int eventFrame = 0;  // where in the block
};

class Lv2TestHost {
public:
    // Loads the bundle at `bundlePath` (a folder) and instantiates the
    // plug-in `uri` at `sampleRate`; false in ok() when any of it fails.
    Lv2TestHost(const std::string& bundlePath, const std::string& uri, double sampleRate);
    ~Lv2TestHost();

    Lv2TestHost(const Lv2TestHost&) = delete;
    Lv2TestHost& operator=(const Lv2TestHost&) = delete;

    bool ok() const { return instance != nullptr; }
    // The control port with this symbol.
    float& control(const std::string& symbol);
    // Output control ports, such as a latency report: the plug-in has none.
    int outputControls() const { return outputControlPorts; }
    void activate();
    void deactivate();

    // Runs one block; inputs and outputs may be the same arrays. `bpm`, when
    // not 0 (NaN and negative values too), goes to the plug-in as a
    // time:Position event at frame `eventFrame` of the block.
    void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames,
             double bpm = 0.0, int eventFrame = 0);
    // Runs one block with the event `position` tells (none for null).
    void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames,
             const HostPosition* position);

private:
    LV2_URID map(const char* uri);
    static LV2_URID mapCallback(LV2_URID_Map_Handle handle, const char* uri);

    LilvWorld* world = nullptr;
    LilvInstance* instance = nullptr;
    std::map<std::string, LV2_URID> urids;
    LV2_URID_Map uridMap{};
    LV2_Feature mapFeature{};
    std::map<std::string, float> controls;  // by symbol; addresses stay put
    std::map<std::string, uint32_t> indices;
    std::vector<uint64_t> sequence;  // the event port's buffer, aligned for atoms
    uint32_t eventPort = 0;
    float outputControlValue = 0.0f;
    int outputControlPorts = 0;
    uint32_t audioPorts[4] = {};
};

// `frames` samples of uniform noise in [-0.8, 0.8), the same for a seed.
std::vector<float> noise(std::size_t frames, unsigned seed);
