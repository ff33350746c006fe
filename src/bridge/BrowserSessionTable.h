#pragma once

#include "base/Clock.h"
#include "bridge/BrowserSession.h"
#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace sonavista {

// The latest report of every browser page, keyed by the page identifier the extension chose.
// A report counts for `sessionLifetime` seconds of a monotonic clock (a step of the wall clock
// must not revive or expire a page); stale entries are dropped lazily, when a report is stored
// or the bridge finds one in its published copy. Not thread-safe: the bridge touches it on its
// own thread only.
class BrowserSessionTable {
public:
    static constexpr double defaultSessionLifetime = 3.5;

    explicit BrowserSessionTable(std::shared_ptr<const Clock> monotonicClock,
                                 double sessionLifetime = defaultSessionLifetime);

    // Stores (or replaces) the page's session stamped with the current time, then drops
    // expired sessions.
    void store(const std::string& pageId, MusicPlayer player, bool isPlaying, double volume);
    // Drops every session whose time stamp lies before now minus the lifetime.
    void removeExpiredSessions();
    void removeAll();

    // The best session among the enabled players, over any copy of the sessions, counting only
    // those stamped at or after `cutoff`: playing before paused, then the most recent report;
    // nothing when there is none.
    static std::optional<MusicPlaybackSnapshot> bestSession(const std::map<std::string, BrowserSession>& sessions,
                                                            const MusicPlayerSet& enabled, double cutoff);

    double sessionLifetime() const { return sessionLifetime_; }
    const std::map<std::string, BrowserSession>& sessions() const { return sessions_; }
    const Clock& clock() const { return *clock_; }
    // Changes whenever a session is stored or removed.
    std::uint64_t revision() const { return revision_; }

private:
    std::shared_ptr<const Clock> clock_;
    double sessionLifetime_;
    std::map<std::string, BrowserSession> sessions_;
    std::uint64_t revision_ = 0;
};

}  // namespace sonavista
