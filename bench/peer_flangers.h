// The flangers Debian ships, driven through their own plug-in interfaces
// (LADSPA, LV2) at settings close to our default program, for timing beside
// ours. A peer that is not installed is simply not offered.
#pragma once

#include <memory>
#include <string>
#include <vector>

class PeerFlanger {
public:
    virtual ~PeerFlanger() = default;
    // A stereo block: mono plug-ins run as two instances, one per channel.
    virtual void run(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames) = 0;
    const std::string& name() const { return label; }

protected:
    explicit PeerFlanger(std::string name) : label(std::move(name)) {}

private:
    std::string label;
};

// Every peer found on this machine, switched on at 44100 Hz, for blocks of
// up to `maxBlock` frames.
std::vector<std::unique_ptr<PeerFlanger>> installedPeers(int maxBlock);
