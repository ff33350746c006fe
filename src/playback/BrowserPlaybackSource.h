#pragma once

#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <optional>

namespace sonavista {

// Where the monitor learns about browser pages. Answers synchronously with the live page of
// an enabled web player (playing or paused), or nothing when no such page exists.
class BrowserPlaybackSource {
public:
    virtual ~BrowserPlaybackSource() = default;
    virtual std::optional<MusicPlaybackSnapshot> snapshot(const MusicPlayerSet& enabled) = 0;
};

}  // namespace sonavista
