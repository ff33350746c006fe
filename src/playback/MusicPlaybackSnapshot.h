#pragma once

#include <optional>
#include <string>
#include <utility>

#include "audio/PlayerAudioIdentity.h"
#include "playback/MusicPlaybackState.h"
#include "playback/MusicPlayer.h"

namespace sonavista {

// The result of one playback detection pass: which player, in which state, how loud
// (0...1, used as the level of the fixed-level waveform). A player outside the catalogue is
// named by its MPRIS stem and its own display name, with `player` absent.
struct MusicPlaybackSnapshot {
    std::optional<MusicPlayer> player;
    MusicPlaybackState state = MusicPlaybackState::notRunning;
    double volumeLevel = 0.0;
    std::string otherPlayerStem;
    std::string otherPlayerName;
    // Whose sound is the player's, for recording it alone. Not part of equality: the monitor
    // publishes a change of it on its own (the same player state from another process).
    PlayerAudioIdentity audio;

    MusicPlaybackSnapshot() = default;
    MusicPlaybackSnapshot(std::optional<MusicPlayer> player, MusicPlaybackState state, double volumeLevel)
        : player(player), state(state), volumeLevel(volumeLevel) {}
    // A player outside the catalogue.
    MusicPlaybackSnapshot(MusicPlaybackState state, double volumeLevel, std::string otherPlayerStem,
                          std::string otherPlayerName)
        : state(state),
          volumeLevel(volumeLevel),
          otherPlayerStem(std::move(otherPlayerStem)),
          otherPlayerName(std::move(otherPlayerName)) {}

    // "spotify", "mpris:vlc"; empty when no player is concerned.
    std::string playerRawValue() const;
    // The catalogue name, the other player's own name, or "Music Player".
    std::string playerDisplayName() const;

    // No player, not running, silent.
    static MusicPlaybackSnapshot idle();

    // Player, state and volume, the volume compared exactly: snapshots differing only in volume
    // differ. The audio identity is left out.
    friend bool operator==(const MusicPlaybackSnapshot& a, const MusicPlaybackSnapshot& b) {
        return a.player == b.player && a.state == b.state && a.volumeLevel == b.volumeLevel &&
               a.otherPlayerStem == b.otherPlayerStem && a.otherPlayerName == b.otherPlayerName;
    }
};

}  // namespace sonavista
