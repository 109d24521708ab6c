// The effect this plug-in library creates for each call of `main`.
#include "flanger/tempo_flanger.h"
#include "host/entry.h"

EffectBase* createEffect(HostCallback host) { return new TempoFlanger(host); }
