#include "lv2_host.h"

#include <lv2/atom/forge.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

constexpr std::size_t kSequenceBytes = 1024;

}  // namespace

LV2_URID Lv2TestHost::map(const char* uri) {
    const auto found = urids.find(uri);
    if (found != urids.end()) return found->second;
    const auto id = static_cast<LV2_URID>(urids.size() + 1);
    urids.emplace(uri, id);
    return id;
}

LV2_URID Lv2TestHost::mapCallback(LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<Lv2TestHost*>(handle)->map(uri);
}

Lv2TestHost::Lv2TestHost(const std::string& bundlePath, const std::string& uri, double sampleRate)
    : sequence(kSequenceBytes / sizeof(uint64_t)) {
    world = lilv_world_new();
    lilv_world_load_specifications(world);
    lilv_world_load_plugin_classes(world);
    const std::string bundleUri = "file://" + bundlePath + (bundlePath.back() == '/' ? "" : "/");
    LilvNode* bundle = lilv_new_uri(world, bundleUri.c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    LilvNode* pluginUri = lilv_new_uri(world, uri.c_str());
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
    lilv_node_free(pluginUri);
    if (plugin == nullptr) return;

    uridMap = {this, mapCallback};
    mapFeature = {LV2_URID__map, &uridMap};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    instance = lilv_plugin_instantiate(plugin, sampleRate, features);
    if (instance == nullptr) return;

    LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
    LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
    LilvNode* output = lilv_new_uri(world, LILV_URI_OUTPUT_PORT);
    std::vector<float> defaults(lilv_plugin_get_num_ports(plugin));
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    int audio_ = 0;
    for (uint32_t p = 0; p < lilv_plugin_get_num_ports(plugin); ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        indices[symbol] = p;
        if (lilv_port_is_a(plugin, port, audio)) {
            if (audio_ < 4) audioPorts[audio_++] = p;
        } else if (lilv_port_is_a(plugin, port, control)) {
            if (lilv_port_is_a(plugin, port, output)) {
                ++outputControlPorts;
                lilv_instance_connect_port(instance, p, &outputControlValue);
            } else {
                controls[symbol] = defaults[p];
                lilv_instance_connect_port(instance, p, &controls[symbol]);
            }
        } else {
            eventPort = p;
            lilv_instance_connect_port(instance, p, sequence.data());
        }
    }
    lilv_node_free(audio);
    lilv_node_free(control);
    lilv_node_free(output);
    lilv_instance_activate(instance);
}

Lv2TestHost::~Lv2TestHost() {
    if (instance != nullptr) {
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    lilv_world_free(world);
}

float& Lv2TestHost::control(const std::string& symbol) { return controls.at(symbol); }

void Lv2TestHost::activate() { lilv_instance_activate(instance); }

void Lv2TestHost::deactivate() { lilv_instance_deactivate(instance); }

void Lv2TestHost::run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames,
                      double bpm, int eventFrame) {
    HostPosition tempo;
    tempo.bpm = bpm;
    tempo.eventFrame = eventFrame;
    run(inLeft, inRight, outLeft, outRight, frames, bpm != 0.0 ? &tempo : nullptr);
}

void Lv2TestHost::run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames,
                      const HostPosition* position) {
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &uridMap);
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(sequence.data()), kSequenceBytes);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);
    if (position != nullptr) {
        lv2_atom_forge_frame_time(&forge, position->eventFrame);
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_object(&forge, &object, 0, map(LV2_TIME__Position));
        if (position->bpm != 0.0) {
            lv2_atom_forge_key(&forge, map(LV2_TIME__beatsPerMinute));
            lv2_atom_forge_float(&forge, static_cast<float>(position->bpm));
        }
        lv2_atom_forge_key(&forge, map(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, position->speed);
        if (position->song) {
            constexpr double kBeatsPerBar = 4.0;
            const double bar = std::floor(position->beat / kBeatsPerBar);
            lv2_atom_forge_key(&forge, map(LV2_TIME__frame));
            lv2_atom_forge_long(&forge, position->frame);
            lv2_atom_forge_key(&forge, map(LV2_TIME__bar));
            lv2_atom_forge_long(&forge, static_cast<int64_t>(bar));
            lv2_atom_forge_key(&forge, map(LV2_TIME__barBeat));
            double barBeat = position->beat - bar * kBeatsPerBar;
            if (position->ticks) barBeat = std::round(barBeat * 1920.0) / 1920.0;
            lv2_atom_forge_float(&forge, static_cast<float>(barBeat));
            lv2_atom_forge_key(&forge, map(LV2_TIME__beatsPerBar));
            lv2_atom_forge_float(&forge, static_cast<float>(kBeatsPerBar));
        }
        lv2_atom_forge_pop(&forge, &object);
    }
    lv2_atom_forge_pop(&forge, &frame);
    lilv_instance_connect_port(instance, audioPorts[0], const_cast<float*>(inLeft));
    lilv_instance_connect_port(instance, audioPorts[1], const_cast<float*>(inRight));
    lilv_instance_connect_port(instance, audioPorts[2], outLeft);
    lilv_instance_connect_port(instance, audioPorts[3], outRight);
    lilv_instance_run(instance, static_cast<uint32_t>(frames));
}

std::vector<float> noise(std::size_t frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.8f, 0.8f);
    std::vector<float> v(frames);
    for (float& s : v) s = uniform(random);
    return v;
}
