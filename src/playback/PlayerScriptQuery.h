#pragma once

#include "playback/MusicPlayer.h"
#include "playback/PlayerScriptReply.h"

namespace sonavista {

// Asks a scriptable player (appleMusic, spotify) for its state and volume. Called on the
// main thread in the middle of a detection pass, so an implementation answers at once from
// what it already knows of the player and never waits on the player itself (which may hang):
// the MPRIS one reads the registry's last learned state.
class PlayerScriptQuery {
public:
    virtual ~PlayerScriptQuery() = default;
    virtual PlayerScriptReply query(MusicPlayer player) = 0;
};

}  // namespace sonavista
