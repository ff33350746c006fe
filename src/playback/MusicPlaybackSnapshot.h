#pragma once

#include <optional>

#include "playback/MusicPlaybackState.h"
#include "playback/MusicPlayer.h"

namespace sonavista {

// The result of one playback detection pass: which player, in which state, how loud
// (0...1, used as the level of the fixed-level waveform).
struct MusicPlaybackSnapshot {
    std::optional<MusicPlayer> player;
    MusicPlaybackState state = MusicPlaybackState::notRunning;
    double volumeLevel = 0.0;

    // No player, not running, silent.
    static MusicPlaybackSnapshot idle();

    // All three fields, the volume compared exactly: snapshots differing only in volume differ.
    friend bool operator==(const MusicPlaybackSnapshot&, const MusicPlaybackSnapshot&) = default;
};

}  // namespace sonavista
