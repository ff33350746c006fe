#pragma once

#include "playback/MusicPlaybackState.h"

namespace sonavista {

// What a scriptable player answered to the state query: its state and its own volume, that it
// refused to show them (the user has not allowed the query), or no answer at all.
struct PlayerScriptReply {
    enum class Kind { answer, refused, unavailable };

    Kind kind = Kind::unavailable;
    MusicPlaybackState state = MusicPlaybackState::unknown;
    // The player's own volume from 0 to 100; full when the player does not say.
    double volumePercent = 100.0;

    static PlayerScriptReply answer(MusicPlaybackState state, double volumePercent = 100.0) {
        return {Kind::answer, state, volumePercent};
    }
    static PlayerScriptReply refused() { return {Kind::refused}; }
    static PlayerScriptReply unavailable() { return {Kind::unavailable}; }
};

}  // namespace sonavista
