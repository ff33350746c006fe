#include "bridge/BrowserSessionTable.h"

#include <algorithm>
#include <utility>

namespace sonavista {

BrowserSessionTable::BrowserSessionTable(std::shared_ptr<const Clock> monotonicClock, double sessionLifetime)
    : clock_(std::move(monotonicClock)), sessionLifetime_(sessionLifetime) {}

std::size_t BrowserSessionTable::groupOf(MusicPlayer player, bool isPlaying) {
    return static_cast<std::size_t>(player) * 2 + (isPlaying ? 1 : 0);
}

void BrowserSessionTable::store(const std::string& pageId, MusicPlayer player, bool isPlaying, double volume) {
    auto page = pages_.find(pageId);
    if (page == pages_.end()) {
        if (pages_.size() >= maximumPages) {
            removeExpiredSessions();
            if (pages_.size() >= maximumPages) remove(stalest());
        }
        page = pages_.emplace(pageId, Page{}).first;
    } else {
        groups_[page->second.group].erase(page->second.inGroup);
    }
    page->second.session = BrowserSession{player, isPlaying, volume, clock_->now()};
    page->second.reported = ++reports_;
    page->second.group = groupOf(player, isPlaying);
    auto& group = groups_[page->second.group];
    page->second.inGroup = group.insert(group.end(), page);
    ++revision_;
    removeExpiredSessions();
}

void BrowserSessionTable::removeExpiredSessions() {
    // Each group is in time order, so the stale pages are at its front.
    const double cutoff = clock_->now() - sessionLifetime_;
    for (auto& group : groups_) {
        while (!group.empty() && group.front()->second.session.updatedAt < cutoff) remove(group.front());
    }
}

void BrowserSessionTable::remove(Pages::iterator page) {
    groups_[page->second.group].erase(page->second.inGroup);
    pages_.erase(page);
    ++revision_;
}

BrowserSessionTable::Pages::iterator BrowserSessionTable::stalest() {
    auto oldest = pages_.end();
    for (const auto& group : groups_) {
        if (!group.empty() && (oldest == pages_.end() || group.front()->second.reported < oldest->second.reported)) {
            oldest = group.front();
        }
    }
    return oldest;
}

BrowserSessionTable::LatestSessions BrowserSessionTable::latestSessions() const {
    std::array<const Page*, std::tuple_size_v<decltype(groups_)>> newest{};
    std::size_t count = 0;
    for (const auto& group : groups_) {
        if (!group.empty()) newest[count++] = &group.back()->second;
    }
    std::sort(newest.begin(), newest.begin() + static_cast<std::ptrdiff_t>(count),
              [](const Page* a, const Page* b) { return a->reported < b->reported; });
    LatestSessions sessions;
    sessions.reserve(count);
    for (std::size_t i = 0; i < count; ++i) sessions.push_back(newest[i]->session);
    return sessions;
}

std::optional<MusicPlaybackSnapshot> BrowserSessionTable::bestSession(const LatestSessions& sessions,
                                                                      const MusicPlayerSet& enabled, double cutoff) {
    const BrowserSession* best = nullptr;
    // In report order: a later candidate replaces the best unless it is worse, so on equal
    // times the later report wins.
    for (const auto& session : sessions) {
        if (session.updatedAt < cutoff || !enabled.contains(session.player)) continue;
        if (best == nullptr || (session.isPlaying && !best->isPlaying) ||
            (session.isPlaying == best->isPlaying && session.updatedAt >= best->updatedAt)) {
            best = &session;
        }
    }
    if (best == nullptr) return std::nullopt;
    return MusicPlaybackSnapshot{best->player,
                                 best->isPlaying ? MusicPlaybackState::playing : MusicPlaybackState::paused,
                                 best->volume};
}

std::map<std::string, BrowserSession> BrowserSessionTable::sessions() const {
    std::map<std::string, BrowserSession> copy;
    for (const auto& [pageId, page] : pages_) copy.emplace_hint(copy.end(), pageId, page.session);
    return copy;
}

void BrowserSessionTable::removeAll() {
    if (!pages_.empty()) ++revision_;
    pages_.clear();
    for (auto& group : groups_) group.clear();
}

}  // namespace sonavista
