#pragma once

#include "playback/MusicPlaybackSnapshot.h"
#include "playback/MusicPlayer.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sonavista {

// The command line of sonavista-detect.
struct DetectOptions {
    MusicPlayerSet enabled{allMusicPlayers.begin(), allMusicPlayers.end()};
    // The stems of the players outside the catalogue that count; nothing: every one but a
    // browser (the application's defaults).
    std::optional<std::set<std::string>> enabledOtherPlayers;
    bool useBridge = true;
    std::uint16_t bridgePort = 43828;
    bool showHelp = false;

    // Fills `options` from the arguments after the program name; on a bad argument returns
    // false with the reason in `error`.
    static bool parse(const std::vector<std::string>& arguments, DetectOptions& options, std::string& error);
    static std::string usage();
};

// The JSON line of one snapshot: {"player": "spotify", "playerName": "Spotify", "state": "playing",
// "volumeLevel": 0.5}; a snapshot without a player has "player": null and no name.
std::string snapshotJsonLine(const MusicPlaybackSnapshot& snapshot);
// The case name of a state ("notRunning", "playing", ...).
std::string_view stateCaseName(MusicPlaybackState state);

}  // namespace sonavista
