#include "bridge/BrowserSessionTable.h"

#include <utility>

namespace sonavista {

BrowserSessionTable::BrowserSessionTable(std::shared_ptr<const Clock> monotonicClock, double sessionLifetime)
    : clock_(std::move(monotonicClock)), sessionLifetime_(sessionLifetime) {}

void BrowserSessionTable::store(const std::string& pageId, MusicPlayer player, bool isPlaying, double volume) {
    sessions_[pageId] = BrowserSession{player, isPlaying, volume, clock_->now()};
    ++revision_;
    removeExpiredSessions();
}

void BrowserSessionTable::removeExpiredSessions() {
    const double cutoff = clock_->now() - sessionLifetime_;
    if (std::erase_if(sessions_, [cutoff](const auto& entry) { return entry.second.updatedAt < cutoff; }) > 0) {
        ++revision_;
    }
}

std::optional<MusicPlaybackSnapshot> BrowserSessionTable::bestSession(
    const std::map<std::string, BrowserSession>& sessions, const MusicPlayerSet& enabled, double cutoff) {
    const BrowserSession* best = nullptr;
    // A single pass picks what a stable sort (playing first, then newest) would put first:
    // a later candidate replaces the best only when it is strictly better, so ties keep the
    // table's order.
    for (const auto& [pageId, session] : sessions) {
        if (session.updatedAt < cutoff || !enabled.contains(session.player)) continue;
        if (best == nullptr || (session.isPlaying && !best->isPlaying) ||
            (session.isPlaying == best->isPlaying && session.updatedAt > best->updatedAt)) {
            best = &session;
        }
    }
    if (best == nullptr) return std::nullopt;
    return MusicPlaybackSnapshot{best->player,
                                 best->isPlaying ? MusicPlaybackState::playing : MusicPlaybackState::paused,
                                 best->volume};
}

void BrowserSessionTable::removeAll() {
    if (!sessions_.empty()) ++revision_;
    sessions_.clear();
}

}  // namespace sonavista
