// A library whose `main` answers a record that is not one of the interface:
// its magic is wrong. The loader must refuse it.
#include "host/effect_record.h"

namespace {
EffectRecord notARecord{};
}

extern "C" EffectRecord* badMain(HostCallback) __asm__("main");
EffectRecord* badMain(HostCallback) {
    notARecord.magic = fourCharCode("Nope");
    return &notARecord;
}
