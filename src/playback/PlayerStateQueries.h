#pragma once

#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"
#include "playback/OutputVolume.h"
#include "playback/PlayerScriptQuery.h"
#include "playback/PlayerScriptReply.h"

#include <memory>
#include <string_view>

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

    // Turns a reply into a snapshot: permission errors give `permissionDenied`, other failures
    // `unknown`; an answer "state|volume" gives the state word's case and
    // sqrt(volume / 100 × systemVolume), clamped to 0.0...1.0.
    static MusicPlaybackSnapshot snapshotFromReply(MusicPlayer player, const PlayerScriptReply& reply,
                                                   double systemVolume);
    static MusicPlaybackState stateFromWord(std::string_view word);
    // The player's volume 0...100 from the answer's second piece: 100 when the piece is
    // missing or is not wholly a decimal number.
    static double playerVolumeFromPiece(std::string_view piece);

private:
    std::shared_ptr<PlayerScriptQuery> scriptQuery_;
    std::shared_ptr<OutputVolume> outputVolume_;
};

}  // namespace sonavista
