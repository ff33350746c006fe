#include "playback/MusicPlaybackState.h"

namespace sonavista {

std::string_view displayName(MusicPlaybackState state) {
    switch (state) {
        case MusicPlaybackState::notRunning:
            return "Not Running";
        case MusicPlaybackState::playing:
            return "Playing";
        case MusicPlaybackState::paused:
            return "Paused";
        case MusicPlaybackState::stopped:
            return "Stopped";
        case MusicPlaybackState::permissionDenied:
            return "Automation Permission Required";
        case MusicPlaybackState::unknown:
            return "Unknown";
    }
    return "Unknown";
}

}  // namespace sonavista
