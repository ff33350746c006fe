#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonavista {

// Decides which media player owns playback from the statuses its players report over time:
// the playing player that switched to playing most recently, else the paused player that was
// active (playing) most recently. Players are keyed by their bus name.
class NowPlayingOwnerTracker {
public:
    enum class Status { playing, paused, stopped, unknown };

    struct Owner {
        std::string name;
        bool isPlaying = false;
        friend bool operator==(const Owner&, const Owner&) = default;
    };

    // "Playing", "Paused", "Stopped"; anything else is unknown.
    static Status statusFromText(std::string_view text);

    // Records one sweep over every player present; players absent from it are forgotten.
    void observeAll(const std::map<std::string, Status>& statuses);
    // Records one player's status.
    void observe(const std::string& name, Status status);
    void forget(const std::string& name);

    std::optional<Owner> owner() const;
    // Every playing player (latest switch to playing first), then every paused one (most
    // recently active first): the owner and whoever would own playback after it.
    std::vector<Owner> ranking() const;

private:
    struct Entry {
        Status status = Status::unknown;
        std::uint64_t playingSince = 0;  // when it last switched to playing
        std::uint64_t lastActive = 0;    // when it was last seen playing
    };

    std::map<std::string, Entry> players_;
    std::uint64_t tick_ = 0;
};

}  // namespace sonavista
