#pragma once

#include "base/Clock.h"
#include "bridge/BrowserSession.h"
#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace sonavista {

// The latest report of every browser page, keyed by the page identifier the extension chose.
// A report counts for `sessionLifetime` seconds; stale entries are dropped lazily, when a
// report is stored or a snapshot is taken. Not thread-safe: the bridge touches it on its own
// thread only.
class BrowserSessionTable {
public:
    static constexpr double defaultSessionLifetime = 3.5;

    explicit BrowserSessionTable(std::shared_ptr<const Clock> wallClock,
                                 double sessionLifetime = defaultSessionLifetime);

    // Stores (or replaces) the page's session stamped with the current time, then drops
    // expired sessions.
    void store(const std::string& pageId, MusicPlayer player, bool isPlaying, double volume);
    // Drops every session whose time stamp lies before now minus the lifetime.
    void removeExpiredSessions();
    // The best live session among the enabled players: playing before paused, then the most
    // recent report; nothing when there is none.
    std::optional<MusicPlaybackSnapshot> snapshot(const MusicPlayerSet& enabled);
    void removeAll();

    double sessionLifetime() const { return sessionLifetime_; }
    const std::map<std::string, BrowserSession>& sessions() const { return sessions_; }

private:
    std::shared_ptr<const Clock> clock_;
    double sessionLifetime_;
    std::map<std::string, BrowserSession> sessions_;
};

}  // namespace sonavista
