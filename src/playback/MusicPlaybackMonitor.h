#pragma once

#include "base/MainQueue.h"
#include "playback/BrowserPlaybackSource.h"
#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"
#include "playback/PlaybackMonitorControl.h"
#include "playback/PlayerStateQueries.h"
#include "playback/RunningApplications.h"
#include "playback/SystemNowPlayingProvider.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace sonavista {

// Decides twice a second which enabled player plays, is paused or absent, and how loud, and
// hands every snapshot that differs from the previous one to `snapshotDidChange`.
//
// Sources in order of trust: the browser pages, the now-playing provider (optional, answers
// asynchronously), the player state queries of running scriptable players, and the running
// applications. A player the now-playing provider lists that is no catalogue player is a
// player of its own (`mpris:<stem>`), on or off by `otherPlayerEnabled`. Besides the timer, a
// source that learns of a change calls `sourcesDidChange` for a pass at once. Everything runs on the main queue; the timer and the now-playing answer hold
// the monitor weakly. Create it with `create` (it must be owned by a shared_ptr).
class MusicPlaybackMonitor final : public PlaybackMonitorControl,
                                   public std::enable_shared_from_this<MusicPlaybackMonitor> {
public:
    static constexpr double passInterval = 0.5;

    struct Sources {
        std::shared_ptr<BrowserPlaybackSource> browser;                   // may be null: no browser pages
        std::shared_ptr<SystemNowPlayingProvider> systemNowPlayingProvider;  // may be null
        std::shared_ptr<PlayerStateQueries> playerStateQueries;           // may be null: unknown, volume 1.0
        std::shared_ptr<RunningApplications> runningApplications;         // may be null: nothing runs
        // Whether a player outside the catalogue counts, by its stem; empty: the defaults
        // (every player but a browser).
        std::function<bool(std::string_view stem)> otherPlayerEnabled = nullptr;
    };

    static std::shared_ptr<MusicPlaybackMonitor> create(MainQueue& mainQueue,
                                                        std::function<MusicPlayerSet()> enabledPlayers,
                                                        Sources sources,
                                                        std::function<void(const MusicPlaybackSnapshot&)> snapshotDidChange);
    ~MusicPlaybackMonitor() override;
    MusicPlaybackMonitor(const MusicPlaybackMonitor&) = delete;
    MusicPlaybackMonitor& operator=(const MusicPlaybackMonitor&) = delete;

    // Stops, discards outstanding answers, runs one pass at once and then one every 0.5 s.
    void start() override;
    // Drops the timer and discards any outstanding now-playing answer. `lastSnapshot` stays.
    void stop() override;
    // One pass; skipped while a now-playing query is in flight.
    void checkPlaybackState();
    // A pass at once that discards the answer of any query still in flight (after the user
    // enabled or disabled a player).
    void requestFreshPass() override;
    // A source saw a change: one fresh pass soon, however many changes arrive before it runs.
    // Ignored while stopped.
    void sourcesDidChange();

    std::int64_t queryGeneration = 0;
    bool queryIsInFlight = false;

    const std::optional<MusicPlaybackSnapshot>& lastSnapshot() const { return lastSnapshot_; }

private:
    MusicPlaybackMonitor(MainQueue& mainQueue, std::function<MusicPlayerSet()> enabledPlayers, Sources sources,
                         std::function<void(const MusicPlaybackSnapshot&)> snapshotDidChange);

    void handleNowPlayingAnswer(std::int64_t generation, const MusicPlayerSet& enabled,
                                const std::optional<MusicPlaybackSnapshot>& browserFallback,
                                const std::optional<SystemNowPlayingSnapshot>& answer);
    std::optional<MusicPlaybackSnapshot> snapshotOf(const NowPlayingPlayer& candidate, const MusicPlayerSet& enabled);
    void checkPlayerFallbacks(const std::optional<MusicPlaybackSnapshot>& browserFallback);
    void publish(const MusicPlaybackSnapshot& snapshot);
    double systemOutputVolume();

    MainQueue& mainQueue_;
    std::function<MusicPlayerSet()> enabledPlayers_;
    std::function<void(const MusicPlaybackSnapshot&)> snapshotDidChange_;
    Sources sources_;
    MainQueue::TimerId timer_ = 0;
    std::optional<MusicPlaybackSnapshot> lastSnapshot_;
    bool changePassPosted_ = false;
};

}  // namespace sonavista
