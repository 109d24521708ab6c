// Without lilv or the LADSPA header there are no peers to time.
#include "peer_flangers.h"

std::vector<std::unique_ptr<PeerFlanger>> installedPeers(int) { return {}; }
