#include "peer_flangers.h"

#include <dlfcn.h>
#include <ladspa.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

struct Setting {
    const char* port;  // a LADSPA port name, or an LV2 port symbol
    float value;
};

// One LADSPA plug-in, one instance per channel when it is mono.
class LadspaPeer : public PeerFlanger {
public:
    static std::unique_ptr<PeerFlanger> open(const std::string& name, const char* file, const char* label,
                                             std::vector<Setting> settings, int maxBlock) {
        void* library = dlopen((std::string("/usr/lib/ladspa/") + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return nullptr;
        auto lookup = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(library, "ladspa_descriptor"));
        if (lookup == nullptr) return nullptr;
        for (unsigned long i = 0; const LADSPA_Descriptor* d = lookup(i); ++i) {
            if (std::strcmp(d->Label, label) == 0) {
                return std::unique_ptr<PeerFlanger>(new LadspaPeer(name, d, std::move(settings), maxBlock));
            }
        }
        return nullptr;
    }

    ~LadspaPeer() override {
        for (LADSPA_Handle handle : handles) {
            if (descriptor->deactivate != nullptr) descriptor->deactivate(handle);
            descriptor->cleanup(handle);
        }
    }

    void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames) override {
        const float* ins[] = {inLeft, inRight};
        float* outs[] = {outLeft, outRight};
        for (std::size_t h = 0; h < handles.size(); ++h) {
            // Audio ports connected per block, as hosts that pass their own buffers do.
            int input = 0, output = 0;
            for (unsigned long p = 0; p < descriptor->PortCount; ++p) {
                const auto kind = descriptor->PortDescriptors[p];
                if (!LADSPA_IS_PORT_AUDIO(kind)) continue;
                const std::size_t channel = handles.size() == 2 ? h : static_cast<std::size_t>(LADSPA_IS_PORT_INPUT(kind) ? input++ : output++);
                descriptor->connect_port(handles[h], p,
                                         LADSPA_IS_PORT_INPUT(kind) ? const_cast<float*>(ins[channel]) : outs[channel]);
            }
            descriptor->run(handles[h], static_cast<unsigned long>(frames));
        }
    }

private:
    LadspaPeer(const std::string& name, const LADSPA_Descriptor* d, std::vector<Setting> settings, int maxBlock)
        : PeerFlanger(name), descriptor(d) {
        (void)maxBlock;
        int audioInputs = 0;
        for (unsigned long p = 0; p < d->PortCount; ++p) {
            if (LADSPA_IS_PORT_AUDIO(d->PortDescriptors[p]) && LADSPA_IS_PORT_INPUT(d->PortDescriptors[p])) ++audioInputs;
        }
        const int instances = audioInputs >= 2 ? 1 : 2;
        controls.assign(d->PortCount, 0.0f);
        for (unsigned long p = 0; p < d->PortCount; ++p) {
            const LADSPA_PortRangeHint& hint = d->PortRangeHints[p];
            if (LADSPA_IS_HINT_BOUNDED_BELOW(hint.HintDescriptor)) controls[p] = hint.LowerBound;
            for (const Setting& s : settings) {
                if (std::strcmp(d->PortNames[p], s.port) == 0) controls[p] = s.value;
            }
        }
        for (int i = 0; i < instances; ++i) {
            LADSPA_Handle handle = d->instantiate(d, static_cast<unsigned long>(kRate));
            for (unsigned long p = 0; p < d->PortCount; ++p) {
                if (LADSPA_IS_PORT_CONTROL(d->PortDescriptors[p])) d->connect_port(handle, p, &controls[p]);
            }
            if (d->activate != nullptr) d->activate(handle);
            handles.push_back(handle);
        }
    }

    const LADSPA_Descriptor* descriptor;
    std::vector<float> controls;  // shared by both instances, read only
    std::vector<LADSPA_Handle> handles;
};

// The host side of LV2 the peers may ask for: URIDs.
class UridMap {
public:
    LV2_URID map(const char* uri) {
        const auto found = ids.find(uri);
        if (found != ids.end()) return found->second;
        const auto id = static_cast<LV2_URID>(ids.size() + 1);
        ids.emplace(uri, id);
        return id;
    }
    static LV2_URID callback(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<UridMap*>(handle)->map(uri); }

private:
    std::map<std::string, LV2_URID> ids;
};

class Lv2Peer : public PeerFlanger {
public:
    static std::unique_ptr<PeerFlanger> open(LilvWorld* world, const std::string& name, const char* uri,
                                             std::vector<Setting> settings) {
        LilvNode* node = lilv_new_uri(world, uri);
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        if (plugin == nullptr) return nullptr;
        auto peer = std::unique_ptr<Lv2Peer>(new Lv2Peer(name));
        peer->mapFeature = {LV2_URID__map, &peer->urids};
        peer->urids = {&peer->uridMap, UridMap::callback};
        const LV2_Feature* features[] = {&peer->mapFeature, nullptr};
        peer->instance = lilv_plugin_instantiate(plugin, kRate, features);
        if (peer->instance == nullptr) return nullptr;
        const uint32_t ports = lilv_plugin_get_num_ports(plugin);
        peer->controls.assign(ports, 0.0f);
        std::vector<float> defaults(ports, 0.0f);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
        LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
        LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
        LilvNode* atom = lilv_new_uri(world, LV2_ATOM__AtomPort);
        for (uint32_t p = 0; p < ports; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            if (lilv_port_is_a(plugin, port, audio)) {
                const bool in = lilv_port_is_a(plugin, port, input);
                (in ? peer->audioInputs : peer->audioOutputs).push_back(p);
            } else if (lilv_port_is_a(plugin, port, atom)) {
                peer->sequences.emplace_back(4096);
                auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(peer->sequences.back().data());
                sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
                lilv_instance_connect_port(peer->instance, p, sequence);
            } else {
                peer->controls[p] = std::isnan(defaults[p]) ? 0.0f : defaults[p];
                for (const Setting& s : settings) {
                    if (symbol == s.port) peer->controls[p] = s.value;
                }
                lilv_instance_connect_port(peer->instance, p, &peer->controls[p]);
            }
        }
        lilv_node_free(audio);
        lilv_node_free(input);
        lilv_node_free(atom);
        lilv_instance_activate(peer->instance);
        return peer;
    }

    ~Lv2Peer() override {
        if (instance != nullptr) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }

    void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames) override {
        const float* ins[] = {inLeft, inRight};
        float* outs[] = {outLeft, outRight};
        for (std::size_t c = 0; c < audioInputs.size() && c < 2; ++c) {
            lilv_instance_connect_port(instance, audioInputs[c], const_cast<float*>(ins[c]));
        }
        for (std::size_t c = 0; c < audioOutputs.size() && c < 2; ++c) {
            lilv_instance_connect_port(instance, audioOutputs[c], outs[c]);
        }
        lilv_instance_run(instance, static_cast<uint32_t>(frames));
    }

private:
    explicit Lv2Peer(const std::string& name) : PeerFlanger(name) {}

    UridMap uridMap;
    LV2_URID_Map urids{};
    LV2_Feature mapFeature{};
    LilvInstance* instance = nullptr;
    std::vector<float> controls;
    std::vector<std::vector<std::uint64_t>> sequences;  // atom ports, empty sequences
    std::vector<uint32_t> audioInputs, audioOutputs;
};

}  // namespace

std::vector<std::unique_ptr<PeerFlanger>> installedPeers(int maxBlock) {
    std::vector<std::unique_ptr<PeerFlanger>> peers;
    auto add = [&](std::unique_ptr<PeerFlanger> peer) {
        if (peer) peers.push_back(std::move(peer));
    };
    // Settings that sweep a delay of about 14..37 samples at about 0.03 Hz
    // with feedback about +0.5 and the wet signal at full level, where the
    // plug-in allows it (checked with an impulse probe).
    add(LadspaPeer::open("swh Flanger (LADSPA, 2x mono)", "flanger_1191.so", "flanger",
                         {{"Delay base (ms)", 0.1f}, {"Max slowdown (ms)", 0.84f}, {"LFO frequency (Hz)", 0.05f},
                          {"Feedback", 0.5f}},
                         maxBlock));
    add(LadspaPeer::open("swh DJ flanger (LADSPA, 2x mono)", "dj_flanger_1438.so", "djFlanger",
                         {{"LFO sync", 0.0f}, {"LFO period (s)", 32.0f}, {"LFO depth (ms)", 1.0f}, {"Feedback (%)", 50.0f}},
                         maxBlock));
    add(LadspaPeer::open("TAP Chorus/Flanger (LADSPA, stereo)", "tap_chorusflanger.so", "tap_chorusflanger",
                         {{"Frequency [Hz]", 0.03f}, {"L/R Phase Shift [deg]", 90.0f}, {"Depth [%]", 100.0f},
                          {"Delay [ms]", 0.0f}, {"Contour [Hz]", 100.0f}, {"Dry Level [dB]", 0.0f},
                          {"Wet Level [dB]", 0.0f}},
                         maxBlock));
    static LilvWorld* world = [] {
        LilvWorld* w = lilv_world_new();
        lilv_world_load_all(w);
        return w;
    }();
    add(Lv2Peer::open(world, "Calf Flanger (LV2, stereo)", "http://calf.sourceforge.net/plugins/Flanger",
                      {{"min_delay", 0.272f}, {"mod_depth", 0.5215f}, {"mod_rate", 0.03f}, {"feedback", 0.5f},
                       {"stereo", 90.0f}, {"amount", 1.0f}, {"dry", 1.0f}}));
    add(Lv2Peer::open(world, "mda ThruZero (LV2, stereo)", "http://drobilla.net/plugins/mda/ThruZero",
                      {{"rate", 0.159f}, {"depth", 0.136f}, {"depth_mod", 0.622f}, {"feedback", 0.763f}, {"mix", 0.5f}}));
    return peers;
}
