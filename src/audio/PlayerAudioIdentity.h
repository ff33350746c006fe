#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonavista {

// What tells the playing player's sound apart from everything else the computer plays: the
// processes that play it (whose child processes count too, since players often decode and
// play from a helper), the sandbox application ids it runs under, and the executable names of
// its processes for streams whose process id means nothing here (a Flatpak or Snap sandbox
// numbers its processes in a namespace of its own). Empty: nothing is known, so nothing
// matches and capture records the whole output.
struct PlayerAudioIdentity {
    std::string displayName;                      // "Spotify", as the Audio tab names it
    std::vector<std::int32_t> processIdentifiers;  // the player's processes, as seen here
    std::vector<std::string> applicationIds;       // Flatpak application ids, Snap names
    std::vector<std::string> binaryNames;          // executable base names ("spotify", "firefox-esr")

    bool empty() const { return processIdentifiers.empty() && applicationIds.empty() && binaryNames.empty(); }

    friend bool operator==(const PlayerAudioIdentity&, const PlayerAudioIdentity&) = default;
};

}  // namespace sonavista
