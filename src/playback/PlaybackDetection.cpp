#include "playback/PlaybackDetection.h"

#include "playback/CachedRunningApplications.h"
#include "playback/MprisNowPlaying.h"
#include "playback/MprisPlayerIdentity.h"
#include "playback/MprisPlayerQuery.h"
#include "playback/PlayerStateQueries.h"
#include "playback/ProcRunningApplications.h"
#include "playback/PulseOutputVolume.h"

#include <utility>

namespace sonavista {

PlaybackDetection::PlaybackDetection(MainQueue& mainQueue, Options options, QDBusConnection bus)
    : runningApplications_(std::make_shared<ProcRunningApplications>()),
      registry_(MprisPlayerRegistry::create(std::move(bus))),
      otherPlayerSeen_(std::move(options.otherPlayerSeen)) {
    auto volume = std::make_shared<PulseOutputVolume>(options.soundClientName);
    MusicPlaybackMonitor::Sources sources;
    sources.browser = std::move(options.browser);
    std::shared_ptr<CachedRunningApplications> scannedList;
    if (registry_) {
        // Each bus change rescans at once; the periodic rescan is for players that never
        // appear on the bus.
        scannedList = std::make_shared<CachedRunningApplications>(mainQueue, runningApplications_, quietScanInterval);
        sources.runningApplications = scannedList;
    } else {
        sources.runningApplications = runningApplications_;
    }
    sources.otherPlayerEnabled = std::move(options.otherPlayerEnabled);
    if (registry_) {
        sources.systemNowPlayingProvider = std::make_shared<MprisNowPlaying>(mainQueue, registry_);
        sources.playerStateQueries = std::make_shared<PlayerStateQueries>(
            std::make_shared<MprisPlayerQuery>(registry_, runningApplications_), volume);
    } else {
        sources.playerStateQueries = std::make_shared<PlayerStateQueries>(nullptr, volume);
    }
    monitor_ = MusicPlaybackMonitor::create(mainQueue, std::move(options.enabledPlayers), std::move(sources),
                                            std::move(options.snapshotDidChange));
    if (registry_) {
        // The registry lives as long as this object, which outlives neither the monitor's
        // owner nor the main thread; the monitor is held weakly all the same.
        const std::weak_ptr<MusicPlaybackMonitor> weakMonitor = monitor_;
        // A departed player's process is followed until it ends, so that it reads not running
        // at once rather than at the next quiet rescan.
        registry_->addDepartureListener([scannedList, weakMonitor](std::int32_t processIdentifier) {
            scannedList->watchForExit(processIdentifier, [weakMonitor] {
                if (auto monitor = weakMonitor.lock()) {
                    monitor->sourcesDidChange();
                }
            });
        });
        registry_->addChangeListener([this, scannedList, weakMonitor] {
            scannedList->invalidate();
            if (auto monitor = weakMonitor.lock()) {
                monitor->sourcesDidChange();
            }
            reportOtherPlayers();
        });
    }
}

void PlaybackDetection::reportOtherPlayers() {
    if (!otherPlayerSeen_) {
        return;
    }
    for (const auto& player : registry_->players()) {
        if (player.identity.empty() || player.processIdentifier < 1) {
            continue;
        }
        auto resolution =
            resolveMprisPlayer(player.busName, runningApplications_->application(player.processIdentifier), std::nullopt);
        if (!resolution || resolution->player) {
            continue;
        }
        OtherPlayerSighting sighting{resolution->otherPlayerStem, player.identity, player.desktopEntry};
        auto [known, isNew] = reported_.try_emplace(sighting.stem, sighting);
        if (isNew || known->second != sighting) {
            known->second = sighting;
            otherPlayerSeen_(sighting);
        }
    }
}

}  // namespace sonavista
