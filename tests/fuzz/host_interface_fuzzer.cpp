// Drives whole flanger instances through their record's entry points, as a
// host of any quality might: every opcode with any index and value, text
// opcodes into buffers of exactly their width plus the terminator, names of
// any length (terminated or not), any float bit pattern as a parameter
// value, any frame count, in place or not, switching off and on, closing and
// reopening. Besides what the sanitizers catch, it checks that every text
// fits its width and is terminated, and that the audio stays finite while
// all parameters are within 0..1 and the input is finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "flanger/tempo_flanger.h"
#include "host/entry.h"

namespace {

constexpr std::int32_t kMaxFrames = 1024;
constexpr unsigned char kUnwritten = 0xAB;

// Reads the fuzzer's bytes as the host's choices; zeros once they run out.
class Choices {
public:
    Choices(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    bool done() const { return at >= size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::uint32_t word() {
        std::uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = (w << 8) | byte();
        return w;
    }
    float anyFloat() {
        const std::uint32_t bits = word();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Mostly the values hosts send, sometimes anything at all.
    std::int32_t index() {
        const std::uint8_t b = byte();
        if (b < 200) return static_cast<std::int32_t>(b % 20) - 2;
        return static_cast<std::int32_t>(word());
    }
    float parameter() {
        const std::uint8_t b = byte();
        if (b < 160) return static_cast<float>(byte()) / 255.0f;
        return anyFloat();
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "host interface fuzzer: %s\n", what);
    std::abort();
}

std::intptr_t PLUGIN_CALL host(EffectRecord*, std::int32_t request, std::int32_t, std::intptr_t, void*, float) {
    return request == kRequestVersion ? 1 : 0;
}

EffectBase* makeFlanger(HostCallback callback) { return new TempoFlanger(callback); }

std::size_t widthOf(std::int32_t opcode) {
    switch (opcode) {
        case kOpGetProgramName: return kProgramNameWidth;
        case kOpGetParamLabel: return kParamLabelWidth;
        case kOpGetParamDisplay: return kParamDisplayWidth;
        default: return kParamNameWidth;
    }
}

class Session {
public:
    Session() { open(); }
    ~Session() { close(); }

    void step(Choices& c) {
        switch (c.byte() % 9) {
            case 0: text(c); break;
            case 1: rename(c); break;
            case 2: effect->setParameter(effect, c.index(), c.parameter()); break;
            case 3: static_cast<void>(effect->getParameter(effect, c.index())); break;
            case 4: audio(c); break;
            case 5: mains(c.byte() % 3 == 0 ? 0 : static_cast<std::intptr_t>(c.word())); break;
            case 6: control(c); break;
            case 7: dispatch(kOpSetProgram, 0, static_cast<std::int32_t>(c.byte() % 20) - 2, nullptr, 0.0f); break;
            default:
                if (c.byte() % 8 == 0) {
                    close();
                    open();
                }
                break;
        }
        noteParameters();
    }

private:
    void open() {
        effect = createInstance(host, makeFlanger);
        if (effect == nullptr) finding("main answered null");
        tainted = false;
    }
    void close() {
        if (effect != nullptr && dispatch(kOpClose, 0, 0, nullptr, 0.0f) != 1) finding("close did not answer 1");
        effect = nullptr;
    }
    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr, float opt) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void mains(std::intptr_t value) {
        dispatch(kOpMainsChanged, 0, value, nullptr, 0.0f);
        // Both clear the lines: whatever ran away before is gone.
        if (inRange()) tainted = false;
    }

    // A text opcode into a buffer of exactly width + 1 bytes.
    void text(Choices& c) {
        const std::int32_t opcode = kOpGetProgramName + c.byte() % 4;
        const std::size_t width = widthOf(opcode);
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[width + 1]);
        std::memset(buffer.get(), kUnwritten, width + 1);
        dispatch(opcode, c.index(), 0, buffer.get(), 0.0f);
        bool written = false, terminated = false;
        for (std::size_t i = 0; i <= width; ++i) {
            written = written || buffer[i] != kUnwritten;
            if (buffer[i] == 0) {
                terminated = true;
                break;
            }
        }
        if (written && !terminated) finding("a text is longer than its width or not terminated");
    }

    // A new name of any length, terminated, or without a terminator and
    // ending at the edge of its allocation after at least the 24 bytes a
    // name may take: nothing past those may be read.
    void rename(Choices& c) {
        const bool terminated = c.byte() % 2 == 0;
        std::size_t length = c.byte() % 48;
        if (!terminated && length < kProgramNameWidth + 1) length = kProgramNameWidth + 1;
        std::unique_ptr<char[]> name(new char[length + (terminated ? 1 : 0)]);
        for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char>(1 + c.byte() % 255);
        if (terminated) name[length] = '\0';
        dispatch(kOpSetProgramName, 0, 0, name.get(), 0.0f);
    }

    void control(Choices& c) {
        const std::uint8_t what = c.byte() % 4;
        if (what == 0) dispatch(kOpSetSampleRate, 0, 0, nullptr, c.anyFloat());
        if (what == 1) dispatch(kOpSetBlockSize, 0, static_cast<std::int32_t>(c.word()), nullptr, 0.0f);
        if (what >= 2) {
            // Any opcode, the close opcode aside, with any arguments; a
            // pointer argument is always a valid scratch buffer.
            std::int32_t opcode = static_cast<std::int32_t>(c.byte() % 34) - 2;
            if (c.byte() == 255) opcode = static_cast<std::int32_t>(c.word());
            if (opcode == kOpClose) return;
            if (opcode >= kOpSetProgramName && opcode <= kOpGetParamName) return;  // text() does these
            if (opcode == kOpMainsChanged || opcode == kOpSetProgram) return;
            char scratch[256] = {};
            dispatch(opcode, c.index(), static_cast<std::intptr_t>(static_cast<std::int32_t>(c.word())),
                     scratch, c.anyFloat());
        }
    }

    void audio(Choices& c) {
        std::int32_t frames = static_cast<std::int32_t>(c.word() % (kMaxFrames + 1));
        if (c.byte() % 16 == 0) frames = -static_cast<std::int32_t>(c.byte());
        const bool inPlace = c.byte() % 3 == 0;
        const bool replacing = c.byte() % 2 == 0;
        const auto n = static_cast<std::size_t>(std::max(frames, 0));
        std::vector<float> left(n), right(n), outLeft(n, 0.5f), outRight(n, -0.5f);
        for (std::size_t i = 0; i < n; ++i) {
            // Finite input: 16-bit steps up to 8 in magnitude.
            left[i] = static_cast<float>(static_cast<std::int16_t>(c.word() & 0xFFFF)) / 4096.0f;
            right[i] = i % 7 == 0 ? left[i] : static_cast<float>(static_cast<std::int16_t>(c.byte() << 8)) / 4096.0f;
        }
        float* in[] = {left.data(), right.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        float** outputs = inPlace ? in : out;
        if (replacing) {
            effect->processReplacing(effect, in, outputs, frames);
        } else {
            effect->process(effect, in, outputs, frames);
        }
        if (tainted || !inRange()) return;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(outputs[0][i]) || !std::isfinite(outputs[1][i])) {
                finding("non-finite output with every parameter within 0..1 and finite input");
            }
        }
    }

    bool inRange() {
        for (std::int32_t i = 0; i < kNumFlangerParams; ++i) {
            const float value = effect->getParameter(effect, i);
            if (!(value >= 0.0f && value <= 1.0f)) return false;
        }
        return true;
    }
    // A value outside 0..1 may leave the lines holding what it caused (a
    // feedback gain above 1 runs away) until they are next cleared.
    void noteParameters() {
        if (effect != nullptr && !inRange()) tainted = true;
    }

    EffectRecord* effect = nullptr;
    bool tainted = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Choices choices(data, size);
    Session session;
    for (int steps = 0; !choices.done() && steps < 2000; ++steps) session.step(choices);
    return 0;
}
