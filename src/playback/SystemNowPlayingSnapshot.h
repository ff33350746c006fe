#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sonavista {

// One media player the now-playing service knows, as far as the monitor needs it.
struct NowPlayingPlayer {
    std::string busName;
    std::int32_t processIdentifier = 0;  // below 1 when not known
    bool isPlaying = false;
    std::string identity;
    std::optional<std::string> url;  // the playing item's address, where the player tells it
    std::optional<double> volume;    // the player's own volume, 1.0 = full

    friend bool operator==(const NowPlayingPlayer&, const NowPlayingPlayer&) = default;
};

// Which process owns system playback and whether it plays. A process identifier below 1
// means that no process owns playback. `players`, where the service can tell, lists every
// playing or paused player in order of ownership (the owner first).
struct SystemNowPlayingSnapshot {
    std::int32_t processIdentifier = 0;
    bool isPlaying = false;
    std::vector<NowPlayingPlayer> players;

    SystemNowPlayingSnapshot() = default;
    SystemNowPlayingSnapshot(std::int32_t processIdentifier, bool isPlaying,
                             std::vector<NowPlayingPlayer> players = {})
        : processIdentifier(processIdentifier), isPlaying(isPlaying), players(std::move(players)) {}

    friend bool operator==(const SystemNowPlayingSnapshot&, const SystemNowPlayingSnapshot&) = default;
};

}  // namespace sonavista
