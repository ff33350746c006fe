#pragma once

#include "playback/MusicPlayer.h"
#include "playback/PlayerScriptReply.h"

namespace sonavista {

// Asks a scriptable player (appleMusic, spotify) for its state and volume. Runs
// synchronously on the main thread, so an implementation must bound how long it waits.
class PlayerScriptQuery {
public:
    virtual ~PlayerScriptQuery() = default;
    virtual PlayerScriptReply query(MusicPlayer player) = 0;
};

}  // namespace sonavista
