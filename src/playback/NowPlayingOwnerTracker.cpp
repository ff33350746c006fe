#include "playback/NowPlayingOwnerTracker.h"

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
    const std::pair<const std::string, Entry>* best = nullptr;
    for (const auto& player : players_) {
        if (player.second.status == Status::playing &&
            (best == nullptr || player.second.playingSince > best->second.playingSince)) {
            best = &player;
        }
    }
    if (best != nullptr) {
        return Owner{best->first, true};
    }
    for (const auto& player : players_) {
        if (player.second.status == Status::paused &&
            (best == nullptr || player.second.lastActive > best->second.lastActive)) {
            best = &player;
        }
    }
    if (best != nullptr) {
        return Owner{best->first, false};
    }
    return std::nullopt;
}

}  // namespace sonavista
