#pragma once

#include <cstdint>

namespace sonavista {

// Which process owns system playback and whether it plays. A process identifier below 1
// means that no process owns playback.
struct SystemNowPlayingSnapshot {
    std::int32_t processIdentifier = 0;
    bool isPlaying = false;

    friend bool operator==(const SystemNowPlayingSnapshot&, const SystemNowPlayingSnapshot&) = default;
};

}  // namespace sonavista
