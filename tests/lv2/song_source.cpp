// A test LV2 plug-in that plays a song's test signal (song_signal.h) by the
// host's song frame from time:Position, while the transport rolls, and
// silence otherwise: in front of the flanger on a track, it gives a host's
// render an input known to the frame without importing a file.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "song_signal.h"

namespace {

enum Port : std::uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kSignal, kTime };

struct SongSource {
    float* out[2] = {};
    const float* signal = nullptr;
    const LV2_Atom_Sequence* time = nullptr;
    LV2_URID object = 0, blank = 0, position = 0, frameKey = 0, speedKey = 0, longType = 0, floatType = 0;
    double frame = 0.0;
    double speed = 0.0;
};

LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>((*f)->data);
    }
    if (map == nullptr) return nullptr;
    auto* source = new SongSource;
    source->object = map->map(map->handle, LV2_ATOM__Object);
    source->blank = map->map(map->handle, LV2_ATOM__Blank);
    source->position = map->map(map->handle, LV2_TIME__Position);
    source->frameKey = map->map(map->handle, LV2_TIME__frame);
    source->speedKey = map->map(map->handle, LV2_TIME__speed);
    source->longType = map->map(map->handle, LV2_ATOM__Long);
    source->floatType = map->map(map->handle, LV2_ATOM__Float);
    return source;
}

void connect(LV2_Handle handle, std::uint32_t port, void* data) {
    auto* source = static_cast<SongSource*>(handle);
    if (port == kOutLeft || port == kOutRight) source->out[port - kOutLeft] = static_cast<float*>(data);
    if (port == kSignal) source->signal = static_cast<const float*>(data);
    if (port == kTime) source->time = static_cast<const LV2_Atom_Sequence*>(data);
}

void render(SongSource& source, std::uint32_t from, std::uint32_t to) {
    const bool noise = source.signal != nullptr && *source.signal > 0.5f;
    for (std::uint32_t i = from; i < to; ++i) {
        float sample = 0.0f;
        if (source.speed == 1.0) {
            const auto frame = static_cast<std::int64_t>(std::llround(source.frame)) + (i - from);
            sample = frame < 0 ? 0.0f : noise ? songsignal::noise(frame) : songsignal::impulses(frame);
        }
        source.out[0][i] = source.out[1][i] = sample;
    }
    source.frame += static_cast<double>(to - from) * source.speed;
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto& source = *static_cast<SongSource*>(handle);
    std::uint32_t done = 0;
    if (source.time != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(source.time, event) {
            if (event->body.type != source.object && event->body.type != source.blank) continue;
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
            if (object->body.otype != source.position) continue;
            const auto at = static_cast<std::uint32_t>(std::min<std::int64_t>(std::max<std::int64_t>(event->time.frames, done), frames));
            render(source, done, at);
            done = at;
            const LV2_Atom* frame = nullptr;
            const LV2_Atom* speed = nullptr;
            lv2_atom_object_get(object, source.frameKey, &frame, source.speedKey, &speed, 0);
            if (frame != nullptr && frame->type == source.longType) {
                source.frame = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(frame)->body);
            }
            if (speed != nullptr && speed->type == source.floatType) {
                source.speed = reinterpret_cast<const LV2_Atom_Float*>(speed)->body;
            }
        }
    }
    render(source, done, frames);
}

void cleanup(LV2_Handle handle) { delete static_cast<SongSource*>(handle); }

const LV2_Descriptor kDescriptor = {"urn:tempo-flanger:test:song-source", instantiate, connect, nullptr, run,
                                    nullptr, cleanup, nullptr};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
