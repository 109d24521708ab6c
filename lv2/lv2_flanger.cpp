#include "lv2/lv2_flanger.h"

#include <lv2/atom/util.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t kControlPorts[kNumFlangerParams] = {
    lv2controls::kTempo,     lv2controls::kResolution, lv2controls::kSend,     lv2controls::kDepth,
    lv2controls::kModAmount, lv2controls::kWaveform,   lv2controls::kFeedback, lv2controls::kBoost,
};

// The factory settings, in each control's units, for a control not connected.
constexpr float kDefaults[kNumFlangerParams] = {
    static_cast<float>(flangerscale::kLv2DefaultTempo),    static_cast<float>(flangerscale::kLv2DefaultResolution),
    static_cast<float>(flangerscale::kLv2DefaultSend),     static_cast<float>(flangerscale::kLv2DefaultDepth),
    static_cast<float>(flangerscale::kLv2DefaultModAmount), static_cast<float>(flangerscale::kLv2DefaultWaveform),
    static_cast<float>(flangerscale::kLv2DefaultFeedback), static_cast<float>(flangerscale::kLv2DefaultBoost),
};

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
constexpr double kSecondsPerMinute = 60.0;
// Beats by which a host's rounded count may miss the exact one: a tick of
// 1/1920 beat, and a float's rounding.
constexpr double kRoundedBeat = 1.0 / 1920.0;

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

Lv2Flanger::Lv2Flanger(double rate, const LV2_Feature* const* features) : sampleRate(rate) {
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, LV2_URID__map) != 0 || (*f)->data == nullptr) continue;
        const auto* map = static_cast<const LV2_URID_Map*>((*f)->data);
        auto id = [map](const char* uri) { return map->map(map->handle, uri); };
        urids.atomBlank = id(LV2_ATOM__Blank);
        urids.atomObject = id(LV2_ATOM__Object);
        urids.atomFloat = id(LV2_ATOM__Float);
        urids.atomDouble = id(LV2_ATOM__Double);
        urids.atomInt = id(LV2_ATOM__Int);
        urids.atomLong = id(LV2_ATOM__Long);
        urids.timePosition = id(LV2_TIME__Position);
        urids.timeBeatsPerMinute = id(LV2_TIME__beatsPerMinute);
        urids.timeSpeed = id(LV2_TIME__speed);
        urids.timeFrame = id(LV2_TIME__frame);
        urids.timeBeat = id(LV2_TIME__beat);
        urids.timeBar = id(LV2_TIME__bar);
        urids.timeBarBeat = id(LV2_TIME__barBeat);
        urids.timeBeatsPerBar = id(LV2_TIME__beatsPerBar);
        canReadTime = true;
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
        default: break;
    }
    for (std::int32_t p = 0; p < kNumFlangerParams; ++p) {
        if (kControlPorts[p] == port) controls[p] = static_cast<const float*>(data);
    }
}

void Lv2Flanger::activate() {
    engine.reset();
    sentAny = false;
    hostBpm = 0.0;
    hostSpeed = 1.0;
    engine.resume();
}

void Lv2Flanger::deactivate() { engine.suspend(); }

float Lv2Flanger::controlValue(std::int32_t parameter) const {
    return controls[parameter] != nullptr ? *controls[parameter] : kDefaults[parameter];
}

float Lv2Flanger::wanted(std::int32_t parameter) const {
    const float value = controlValue(parameter);
    switch (parameter) {
        case kParamTempo:
            if (syncOn() && hostBpm > 0.0) return lv2controls::syncedTempo(hostBpm, sampleRate);
            return lv2controls::tempo(value);
        case kParamResolution: return lv2controls::resolution(value);
        case kParamWaveform: return lv2controls::waveform(value);
        case kParamBoost: return lv2controls::boost(value);
        default: return lv2controls::percent(value, kDefaults[parameter]);
    }
}

void Lv2Flanger::send(std::int32_t parameter, float value) {
    engine.setParameter(parameter, value);
    sent[parameter] = value;
}

void Lv2Flanger::applyChangedControls() {
    bool depthSent = false;
    for (std::int32_t p = 0; p < kNumFlangerParams; ++p) {
        // A control the host left as it was maps to what was sent before;
        // Tempo also follows the sync toggle and the host's tempo.
        const float control = controlValue(p);
        if (sentAny && p != kParamTempo && sameBits(control, heard[p])) continue;
        heard[p] = control;
        const float value = wanted(p);
        if (sentAny && sameBits(value, sent[p])) continue;
        send(p, value);
        if (p == kParamDepth) depthSent = true;
        // Depth after Mod Amt: with modulation off the lines take its delay.
        if (p == kParamModAmount && depthSent) send(kParamDepth, sent[kParamDepth]);
    }
    sentAny = true;
}

bool Lv2Flanger::readTime(const LV2_Atom* atom, HostTime& time) const {
    if (!canReadTime || (atom->type != urids.atomObject && atom->type != urids.atomBlank)) return false;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    if (object->body.otype != urids.timePosition) return false;
    const LV2_Atom* bpm = nullptr;
    const LV2_Atom* speed = nullptr;
    const LV2_Atom* frame = nullptr;
    const LV2_Atom* beat = nullptr;
    const LV2_Atom* bar = nullptr;
    const LV2_Atom* barBeat = nullptr;
    const LV2_Atom* beatsPerBar = nullptr;
    lv2_atom_object_get(object, urids.timeBeatsPerMinute, &bpm, urids.timeSpeed, &speed, urids.timeFrame, &frame,
                        urids.timeBeat, &beat, urids.timeBar, &bar, urids.timeBarBeat, &barBeat,
                        urids.timeBeatsPerBar, &beatsPerBar, 0);
    // A number of any of the atom types hosts use; NaN for none.
    auto number = [this](const LV2_Atom* value) {
        if (value == nullptr) return kUnknown;
        if (value->type == urids.atomFloat && value->size >= sizeof(float)) {
            return static_cast<double>(reinterpret_cast<const LV2_Atom_Float*>(value)->body);
        }
        if (value->type == urids.atomDouble && value->size >= sizeof(double)) {
            return reinterpret_cast<const LV2_Atom_Double*>(value)->body;
        }
        if (value->type == urids.atomInt && value->size >= sizeof(std::int32_t)) {
            return static_cast<double>(reinterpret_cast<const LV2_Atom_Int*>(value)->body);
        }
        if (value->type == urids.atomLong && value->size >= sizeof(std::int64_t)) {
            return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(value)->body);
        }
        return kUnknown;
    };
    auto finite = [](double value) { return std::isfinite(value) ? value : kUnknown; };
    time.bpm = number(bpm);
    // A tempo that is not finite or not above 0 is no tempo.
    if (!(time.bpm > 0.0) || !std::isfinite(time.bpm)) time.bpm = kUnknown;
    time.speed = finite(number(speed));
    time.frame = finite(number(frame));
    // The beat: as the host counts it, else from its bar, else from the
    // frame at the tempo.
    time.beat = finite(number(beat));
    if (std::isnan(time.beat)) {
        const double perBar = number(beatsPerBar);
        if (perBar > 0.0) time.beat = finite(number(bar) * perBar + number(barBeat));
    }
    // At one tempo since the song's start (the beat agrees with the frame),
    // the frame counts beats exactly: hosts round the bar's beat (Ardour to
    // a tick, 1/1920 beat), and two starts in one song must agree.
    if (!std::isnan(time.frame) && !std::isnan(time.bpm)) {
        const double fromFrame = time.frame / sampleRate * time.bpm / kSecondsPerMinute;
        if (std::isnan(time.beat) || std::fabs(time.beat - fromFrame) <= kRoundedBeat) time.beat = fromFrame;
    }
    return true;
}

void Lv2Flanger::hear(const HostTime& time) {
    if (!std::isnan(time.bpm)) hostBpm = time.bpm;
    if (!std::isnan(time.speed)) hostSpeed = time.speed;
    const float tempo = wanted(kParamTempo);
    if (!sameBits(tempo, sent[kParamTempo])) send(kParamTempo, tempo);
    if (hostSpeed == 0.0) {
        engine.runFree();  // the transport stands still
        return;
    }
    const double beatsPerFrame = hostBpm / kSecondsPerMinute / sampleRate * hostSpeed;
    engine.followSong({time.frame, time.beat, hostSpeed, beatsPerFrame}, syncOn());
}

void Lv2Flanger::render(std::uint32_t from, std::uint32_t frames) {
    if (frames == 0) return;
    float* in[] = {const_cast<float*>(inputs[0]) + from, const_cast<float*>(inputs[1]) + from};
    float* out[] = {outputs[0] + from, outputs[1] + from};
    engine.processReplacing(in, out, static_cast<std::int32_t>(frames));
}

void Lv2Flanger::run(std::uint32_t frames) {
    if (inputs[0] == nullptr || inputs[1] == nullptr || outputs[0] == nullptr || outputs[1] == nullptr) return;
    applyChangedControls();
    std::uint32_t done = 0;
    if (events != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(events, event) {
            HostTime time{};
            if (!readTime(&event->body, time)) continue;
            // The events' times are frames within this block, in order.
            const auto at = static_cast<std::uint32_t>(std::clamp<std::int64_t>(event->time.frames, done, frames));
            render(done, at - done);
            done = at;
            hear(time);
        }
    }
    render(done, frames - done);
}
