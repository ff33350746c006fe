#pragma once

#include <array>
#include <string_view>

namespace sonavista {

// The state of the player a playback snapshot speaks of.
enum class MusicPlaybackState {
    notRunning,
    playing,
    paused,
    stopped,
    permissionDenied,
    unknown,
};

inline constexpr std::array<MusicPlaybackState, 6> allMusicPlaybackStates = {
    MusicPlaybackState::notRunning, MusicPlaybackState::playing,          MusicPlaybackState::paused,
    MusicPlaybackState::stopped,    MusicPlaybackState::permissionDenied, MusicPlaybackState::unknown,
};

// The title under which the status menu shows the state.
std::string_view displayName(MusicPlaybackState state);

}  // namespace sonavista
