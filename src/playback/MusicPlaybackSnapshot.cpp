#include "playback/MusicPlaybackSnapshot.h"

namespace sonavista {

MusicPlaybackSnapshot MusicPlaybackSnapshot::idle() {
    return MusicPlaybackSnapshot{std::nullopt, MusicPlaybackState::notRunning, 0.0};
}

}  // namespace sonavista
