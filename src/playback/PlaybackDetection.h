#pragma once

#include "base/MainQueue.h"
#include "playback/BrowserPlaybackSource.h"
#include "playback/MprisPlayerRegistry.h"
#include "playback/MusicPlaybackMonitor.h"
#include "playback/RunningApplications.h"

#include <QDBusConnection>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace sonavista {

// The one wiring of playback detection on this desktop, shared by the application and
// sonavista-detect so that the diagnostic sees exactly what the application sees: the /proc
// running applications, the sound server's output volume, the MPRIS registry on the session
// bus (when there is one) with the now-playing provider and player queries that read it, and
// the monitor, which runs a pass as soon as the registry reports a change.
class PlaybackDetection {
public:
    // With a session bus, how old the scanned list of running applications may get while the
    // bus reports no change: the delay with which a player that never shows on the bus is
    // seen to start or stop (plus one pass). Without a bus every pass scans.
    static constexpr double quietScanInterval = 2.0;

    // A player outside the catalogue found on the bus, once its Identity is known.
    struct OtherPlayerSighting {
        std::string stem;
        std::string name;
        std::string desktopEntry;
        friend bool operator==(const OtherPlayerSighting&, const OtherPlayerSighting&) = default;
    };

    struct Options {
        std::shared_ptr<BrowserPlaybackSource> browser;  // may be null
        std::function<MusicPlayerSet()> enabledPlayers;
        std::function<bool(std::string_view stem)> otherPlayerEnabled;  // empty: the defaults
        std::function<void(const OtherPlayerSighting&)> otherPlayerSeen;  // may be empty
        std::function<void(const MusicPlaybackSnapshot&)> snapshotDidChange;
        std::string soundClientName = "Sonavista";
    };

    PlaybackDetection(MainQueue& mainQueue, Options options, QDBusConnection bus = QDBusConnection::sessionBus());
    // The registry's listener refers to this object, which therefore stays where it was built.
    PlaybackDetection(const PlaybackDetection&) = delete;
    PlaybackDetection& operator=(const PlaybackDetection&) = delete;

    const std::shared_ptr<MusicPlaybackMonitor>& monitor() const { return monitor_; }
    // Null without a session bus. Its change listeners are where bus activity can be observed.
    const std::shared_ptr<MprisPlayerRegistry>& registry() const { return registry_; }

private:
    void reportOtherPlayers();

    std::shared_ptr<RunningApplications> runningApplications_;
    std::shared_ptr<MprisPlayerRegistry> registry_;
    std::shared_ptr<MusicPlaybackMonitor> monitor_;
    std::function<void(const OtherPlayerSighting&)> otherPlayerSeen_;
    std::map<std::string, OtherPlayerSighting> reported_;
};

}  // namespace sonavista
