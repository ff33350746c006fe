#include "playback/NowPlayingOwnerTracker.h"

#include <algorithm>

namespace sonavista {

NowPlayingOwnerTracker::Status NowPlayingOwnerTracker::statusFromText(std::string_view text) {
    if (text == "Playing") {
        return Status::playing;
    }
    if (text == "Paused") {
        return Status::paused;
    }
    if (text == "Stopped") {
        return Status::stopped;
    }
    return Status::unknown;
}

void NowPlayingOwnerTracker::observeAll(const std::map<std::string, Status>& statuses) {
    for (auto it = players_.begin(); it != players_.end();) {
        it = statuses.contains(it->first) ? std::next(it) : players_.erase(it);
    }
    for (const auto& [name, status] : statuses) {
        observe(name, status);
    }
}

void NowPlayingOwnerTracker::observe(const std::string& name, Status status) {
    auto [entry, isNew] = players_.try_emplace(name);
    auto& player = entry->second;
    if (status == Status::playing) {
        ++tick_;
        if (isNew || player.status != Status::playing) {
            player.playingSince = tick_;
        }
        player.lastActive = tick_;
    }
    player.status = status;
}

void NowPlayingOwnerTracker::forget(const std::string& name) { players_.erase(name); }

std::optional<NowPlayingOwnerTracker::Owner> NowPlayingOwnerTracker::owner() const {
    auto ranked = ranking();
    if (ranked.empty()) {
        return std::nullopt;
    }
    return ranked.front();
}

std::vector<NowPlayingOwnerTracker::Owner> NowPlayingOwnerTracker::ranking() const {
    using Ranked = std::pair<std::uint64_t, const std::string*>;
    std::vector<Ranked> playing;
    std::vector<Ranked> paused;
    for (const auto& [name, entry] : players_) {
        if (entry.status == Status::playing) {
            playing.emplace_back(entry.playingSince, &name);
        } else if (entry.status == Status::paused) {
            paused.emplace_back(entry.lastActive, &name);
        }
    }
    // Later first; among equals (never active) the name order decides, as the map gives it.
    auto later = [](const Ranked& a, const Ranked& b) { return a.first > b.first; };
    std::stable_sort(playing.begin(), playing.end(), later);
    std::stable_sort(paused.begin(), paused.end(), later);
    std::vector<Owner> ranked;
    for (const auto& [tick, name] : playing) {
        ranked.push_back(Owner{*name, true});
    }
    for (const auto& [tick, name] : paused) {
        ranked.push_back(Owner{*name, false});
    }
    return ranked;
}

}  // namespace sonavista
