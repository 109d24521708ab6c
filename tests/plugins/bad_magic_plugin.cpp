// A library whose `main` answers a record that is not one of the interface:
// its magic is wrong. The loader must refuse it.
#include "interface/effect_record.h"

namespace {
EffectRecord notARecord{};
}

#if defined(_WIN32)
extern "C" EffectRecord* PLUGIN_CALL badMain(HostCallback);  // exported as main by the .def file
#else
extern "C" EffectRecord* badMain(HostCallback) __asm__("main");
#endif

EffectRecord* PLUGIN_CALL badMain(HostCallback) {
    notARecord.magic = fourCharCode("Nope");
    return &notARecord;
}
