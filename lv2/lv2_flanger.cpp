#include "lv2/lv2_flanger.h"

#include <lv2/atom/util.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr std::uint32_t kControlPorts[kNumFlangerParams] = {
    lv2controls::kTempo,     lv2controls::kResolution, lv2controls::kSend,     lv2controls::kDepth,
    lv2controls::kModAmount, lv2controls::kWaveform,   lv2controls::kFeedback, lv2controls::kBoost,
};

// The factory settings, in each control's units, for a control not connected.
constexpr float kDefaults[kNumFlangerParams] = {120.0f, 64.0f, 100.0f, 25.0f, 25.0f, 0.0f, 50.0f, 0.0f};

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

Lv2Flanger::Lv2Flanger(double rate, const LV2_Feature* const* features) : sampleRate(rate) {
    flanger.setSampleRate(static_cast<float>(rate));
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, LV2_URID__map) != 0 || (*f)->data == nullptr) continue;
        const auto* map = static_cast<const LV2_URID_Map*>((*f)->data);
        urids.atomBlank = map->map(map->handle, LV2_ATOM__Blank);
        urids.atomObject = map->map(map->handle, LV2_ATOM__Object);
        urids.atomFloat = map->map(map->handle, LV2_ATOM__Float);
        urids.atomDouble = map->map(map->handle, LV2_ATOM__Double);
        urids.atomInt = map->map(map->handle, LV2_ATOM__Int);
        urids.atomLong = map->map(map->handle, LV2_ATOM__Long);
        urids.timePosition = map->map(map->handle, LV2_TIME__Position);
        urids.timeBeatsPerMinute = map->map(map->handle, LV2_TIME__beatsPerMinute);
        canReadTempo = true;
    }
}

void Lv2Flanger::connect(std::uint32_t port, void* data) {
    using namespace lv2controls;
    switch (port) {
        case kInLeft: inputs[0] = static_cast<const float*>(data); return;
        case kInRight: inputs[1] = static_cast<const float*>(data); return;
        case kOutLeft: outputs[0] = static_cast<float*>(data); return;
        case kOutRight: outputs[1] = static_cast<float*>(data); return;
        case kSync: sync = static_cast<const float*>(data); return;
        case kTimeEvents: events = static_cast<const LV2_Atom_Sequence*>(data); return;
        case kLatency: latency = static_cast<float*>(data); return;
        default: break;
    }
    for (std::int32_t p = 0; p < kNumFlangerParams; ++p) {
        if (kControlPorts[p] == port) controls[p] = static_cast<const float*>(data);
    }
}

void Lv2Flanger::activate() { flanger.resume(); }

void Lv2Flanger::deactivate() { flanger.suspend(); }

float Lv2Flanger::controlValue(std::int32_t parameter) const {
    return controls[parameter] != nullptr ? *controls[parameter] : kDefaults[parameter];
}

float Lv2Flanger::wanted(std::int32_t parameter) const {
    const float value = controlValue(parameter);
    switch (parameter) {
        case kParamTempo:
            if (sync != nullptr && *sync > 0.5f && hostBpm > 0.0) return lv2controls::syncedTempo(hostBpm, sampleRate);
            return lv2controls::tempo(value);
        case kParamResolution: return lv2controls::resolution(value);
        case kParamWaveform: return lv2controls::waveform(value);
        case kParamBoost: return lv2controls::boost(value);
        default: return lv2controls::percent(value, kDefaults[parameter]);
    }
}

void Lv2Flanger::applyChangedControls() {
    for (std::int32_t p = 0; p < kNumFlangerParams; ++p) {
        // A control the host left as it was maps to what was sent before;
        // Tempo also follows the sync toggle and the host's tempo.
        const float control = controlValue(p);
        if (sentAny && p != kParamTempo && sameBits(control, heard[p])) continue;
        heard[p] = control;
        const float value = wanted(p);
        if (sentAny && sameBits(value, sent[p])) continue;
        flanger.setParameter(p, value);
        sent[p] = value;
    }
    sentAny = true;
}

bool Lv2Flanger::readTempo(const LV2_Atom* atom, double& bpm) const {
    if (!canReadTempo || (atom->type != urids.atomObject && atom->type != urids.atomBlank)) return false;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    if (object->body.otype != urids.timePosition) return false;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, urids.timeBeatsPerMinute, &value, 0);
    if (value == nullptr) return false;
    double read = 0.0;
    if (value->type == urids.atomFloat && value->size >= sizeof(float)) {
        read = reinterpret_cast<const LV2_Atom_Float*>(value)->body;
    } else if (value->type == urids.atomDouble && value->size >= sizeof(double)) {
        read = reinterpret_cast<const LV2_Atom_Double*>(value)->body;
    } else if (value->type == urids.atomInt && value->size >= sizeof(std::int32_t)) {
        read = reinterpret_cast<const LV2_Atom_Int*>(value)->body;
    } else if (value->type == urids.atomLong && value->size >= sizeof(std::int64_t)) {
        read = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(value)->body);
    } else {
        return false;
    }
    // A tempo that is not finite or not above 0 is no tempo.
    if (!std::isfinite(read) || !(read > 0.0)) return false;
    bpm = read;
    return true;
}

void Lv2Flanger::render(std::uint32_t from, std::uint32_t frames) {
    if (frames == 0) return;
    float* in[] = {const_cast<float*>(inputs[0]) + from, const_cast<float*>(inputs[1]) + from};
    float* out[] = {outputs[0] + from, outputs[1] + from};
    flanger.processReplacing(in, out, static_cast<std::int32_t>(frames));
}

void Lv2Flanger::run(std::uint32_t frames) {
    if (latency != nullptr) *latency = 0.0f;
    if (inputs[0] == nullptr || inputs[1] == nullptr || outputs[0] == nullptr || outputs[1] == nullptr) return;
    applyChangedControls();
    std::uint32_t done = 0;
    if (events != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(events, event) {
            double bpm = 0.0;
            if (!readTempo(&event->body, bpm)) continue;
            // The events' times are frames within this block, in order.
            const auto at = static_cast<std::uint32_t>(std::clamp<std::int64_t>(event->time.frames, done, frames));
            render(done, at - done);
            done = at;
            hostBpm = bpm;
            const float tempo = wanted(kParamTempo);
            if (!sameBits(tempo, sent[kParamTempo])) {
                flanger.setParameter(kParamTempo, tempo);
                sent[kParamTempo] = tempo;
            }
        }
    }
    render(done, frames - done);
}
