#pragma once

#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <functional>
#include <memory>

namespace sonavista {

// The playback monitor as the application policy drives it. Snapshots arrive on the main
// thread through the callback given to the factory, only when they differ from the last one.
class PlaybackMonitorControl {
public:
    virtual ~PlaybackMonitorControl() = default;

    virtual void start() = 0;
    virtual void stop() = 0;
    // Makes the answer of any state query still in flight count for nothing (its generation
    // is left behind and the in-flight mark is cleared), so a new pass may start at once.
    virtual void discardQueryInFlight() = 0;
    // Runs one detection pass now.
    virtual void checkPlaybackState() = 0;
};

using EnabledPlayersProvider = std::function<MusicPlayerSet()>;
using SnapshotCallback = std::function<void(const MusicPlaybackSnapshot&)>;
using PlaybackMonitorFactory = std::function<std::shared_ptr<PlaybackMonitorControl>(
    EnabledPlayersProvider enabledPlayers, SnapshotCallback snapshotDidChange)>;

}  // namespace sonavista
