// Built only by a test that expects it not to build: host-side code (this
// target links the validator and the loader) must not see the plug-in's
// own headers.
#include "host/effect_base.h"
#include "validator/validator.h"

int reachesIn() { return static_cast<int>(sizeof(EffectBase)); }
