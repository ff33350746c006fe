#pragma once

#include "base/Clock.h"
#include "bridge/BrowserSession.h"
#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sonavista {

// The latest report of every browser page, keyed by the page identifier the extension chose.
// A report counts for `sessionLifetime` seconds of a monotonic clock (a step of the wall clock
// must not revive or expire a page); stale entries are dropped lazily, when a report is stored
// or the bridge finds one in its published summary. Not thread-safe: the bridge touches it on
// its own thread only.
//
// Bounded: a page id is at most `maximumPageIdBytes` long (the protocol refuses longer ones) and
// at most `maximumPages` pages are kept; a report of a new page beyond that evicts the page that
// reported least recently. Each store costs O(log pages), whatever the table holds.
class BrowserSessionTable {
public:
    static constexpr double defaultSessionLifetime = 3.5;
    // Our extension's ids are about 30 bytes ("<16 hex digits>-<tab id>").
    static constexpr std::size_t maximumPageIdBytes = 256;
    // Far more tabs than anyone plays music in at once.
    static constexpr std::size_t maximumPages = 64;

    // The newest session of each (player, playing) pair, oldest report first: all that choosing
    // the best live page needs (the newest of a pair is live whenever any of the pair is), and
    // at most two entries per player whatever the table holds.
    using LatestSessions = std::vector<BrowserSession>;

    explicit BrowserSessionTable(std::shared_ptr<const Clock> monotonicClock,
                                 double sessionLifetime = defaultSessionLifetime);
    BrowserSessionTable(const BrowserSessionTable&) = delete;
    BrowserSessionTable& operator=(const BrowserSessionTable&) = delete;

    // Stores (or replaces) the page's session stamped with the current time, then drops
    // expired sessions. The caller keeps `pageId` within `maximumPageIdBytes`.
    void store(const std::string& pageId, MusicPlayer player, bool isPlaying, double volume);
    // Drops every session whose time stamp lies before now minus the lifetime.
    void removeExpiredSessions();
    void removeAll();

    LatestSessions latestSessions() const;

    // The best session among the enabled players, counting only those stamped at or after
    // `cutoff`: playing before paused, then the most recent report (on equal times, the one
    // reported later); nothing when there is none.
    static std::optional<MusicPlaybackSnapshot> bestSession(const LatestSessions& sessions,
                                                            const MusicPlayerSet& enabled, double cutoff);

    double sessionLifetime() const { return sessionLifetime_; }
    std::size_t size() const { return pages_.size(); }
    // A copy of the whole table (diagnostics and tests).
    std::map<std::string, BrowserSession> sessions() const;
    const Clock& clock() const { return *clock_; }
    // Changes whenever a session is stored or removed.
    std::uint64_t revision() const { return revision_; }

private:
    struct Page;
    using Pages = std::map<std::string, Page>;
    // The pages of one (player, playing) pair in report order, which is time order on a
    // monotonic clock: the front is the stalest, the back the newest.
    using Group = std::list<Pages::iterator>;
    struct Page {
        BrowserSession session;
        std::uint64_t reported = 0;  // report order
        std::size_t group = 0;
        Group::iterator inGroup;
    };
    static std::size_t groupOf(MusicPlayer player, bool isPlaying);
    void remove(Pages::iterator page);
    // The page that reported least recently, among the fronts of the groups.
    Pages::iterator stalest();

    std::shared_ptr<const Clock> clock_;
    double sessionLifetime_;
    Pages pages_;
    std::array<Group, allMusicPlayers.size() * 2> groups_;
    std::uint64_t revision_ = 0;
    std::uint64_t reports_ = 0;
};

}  // namespace sonavista
