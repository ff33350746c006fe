#include "playback/MusicPlaybackSnapshot.h"

#include "playback/MprisPlayerIdentity.h"

namespace sonavista {

MusicPlaybackSnapshot MusicPlaybackSnapshot::idle() {
    return MusicPlaybackSnapshot{std::nullopt, MusicPlaybackState::notRunning, 0.0};
}

std::string MusicPlaybackSnapshot::playerRawValue() const {
    if (player) {
        return std::string(rawValue(*player));
    }
    return otherPlayerStem.empty() ? std::string() : otherPlayerRawValue(otherPlayerStem);
}

std::string MusicPlaybackSnapshot::playerDisplayName() const {
    if (player || otherPlayerStem.empty()) {
        return std::string(displayName(player));
    }
    return otherPlayerName.empty() ? otherPlayerStem : otherPlayerName;
}

}  // namespace sonavista
