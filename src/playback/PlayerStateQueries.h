#pragma once

#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"
#include "playback/OutputVolume.h"
#include "playback/PlayerScriptQuery.h"
#include "playback/PlayerScriptReply.h"

#include <memory>

namespace sonavista {

// The synchronous player queries of a monitor pass: a scriptable player's state and volume,
// and the system output volume. Either port may be absent: without a script query every
// scripted player is `unknown`, without an output volume the volume is 1.0.
class PlayerStateQueries {
public:
    PlayerStateQueries(std::shared_ptr<PlayerScriptQuery> scriptQuery, std::shared_ptr<OutputVolume> outputVolume);

    // The player's snapshot; its player is always `player`. Only appleMusic and spotify are
    // asked; every other player is `unknown`.
    MusicPlaybackSnapshot scriptSnapshot(MusicPlayer player);
    // The default output's volume clamped to 0.0...1.0; 1.0 when it cannot be learned.
    double systemOutputVolume();

    // Turns a reply into a snapshot: a refusal gives `permissionDenied`, no answer `unknown`;
    // an answer gives its state and sqrt(volume / 100 × systemVolume), clamped to 0.0...1.0.
    static MusicPlaybackSnapshot snapshotFromReply(MusicPlayer player, const PlayerScriptReply& reply,
                                                   double systemVolume);

private:
    std::shared_ptr<PlayerScriptQuery> scriptQuery_;
    std::shared_ptr<OutputVolume> outputVolume_;
};

}  // namespace sonavista
