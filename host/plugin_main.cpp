// The library's one export, `main`, and the Windows DLL entry. Built into each
// plug-in library (never into a program: the name would clash with the
// program's own `main`).
//
// A C++ compiler refuses a function called `main` with any signature other
// than a program's, so the function has another name in the source and gets
// its exported name from the linker: on ELF through an assembler label (the
// version script keeps it the only dynamic symbol), on Windows through the
// module-definition file, which renames `pluginMain` to `main`.
#include "host/entry.h"

#if defined(_WIN32)

extern "C" EffectRecord* PLUGIN_CALL pluginMain(HostCallback host) { return createInstance(host, createEffect); }

// The loader's notifications need nothing from us; every reason succeeds.
extern "C" int __stdcall DllMain(void* /*module*/, unsigned long /*reason*/, void* /*reserved*/) {
    return 1;
}

#else

extern "C" __attribute__((visibility("default"))) EffectRecord* pluginMain(HostCallback host) __asm__("main");

EffectRecord* pluginMain(HostCallback host) { return createInstance(host, createEffect); }

#endif
