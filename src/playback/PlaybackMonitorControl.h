#pragma once

#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <functional>
#include <memory>

namespace sonavista {

// The playback monitor as the application policy drives it; MusicPlaybackMonitor implements
// it. Snapshots arrive on the main thread through the callback given to the factory, only
// when they differ from the last one. Main thread only.
class PlaybackMonitorControl {
public:
    virtual ~PlaybackMonitorControl() = default;

    virtual void start() = 0;
    virtual void stop() = 0;
    // Runs one detection pass now, counting the answer of any state query still in flight
    // for nothing (used after the user enabled or disabled a player).
    virtual void requestFreshPass() = 0;
};

using EnabledPlayersProvider = std::function<MusicPlayerSet()>;
using SnapshotCallback = std::function<void(const MusicPlaybackSnapshot&)>;
using PlaybackMonitorFactory = std::function<std::shared_ptr<PlaybackMonitorControl>(
    EnabledPlayersProvider enabledPlayers, SnapshotCallback snapshotDidChange)>;

}  // namespace sonavista
