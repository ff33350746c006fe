#pragma once

#include <array>
#include <optional>
#include <set>
#include <string_view>

namespace sonavista {

// The music players the system knows how to detect, in catalogue order (which is also the
// order in which native players are examined). The raw value of each case is its name and is
// both its stored and its wire form.
enum class MusicPlayer {
    appleMusic,
    qqMusic,
    netEaseMusic,
    spotify,
    spotifyWeb,
    youtube,
    qqMusicWeb,
};

// Ordered by catalogue order, so iterating a set is deterministic.
using MusicPlayerSet = std::set<MusicPlayer>;

inline constexpr std::array<MusicPlayer, 7> allMusicPlayers = {
    MusicPlayer::appleMusic, MusicPlayer::qqMusic,    MusicPlayer::netEaseMusic, MusicPlayer::spotify,
    MusicPlayer::spotifyWeb, MusicPlayer::youtube, MusicPlayer::qqMusicWeb,
};

// Shown where a caller has no player to name.
inline constexpr std::string_view noMusicPlayerDisplayName = "Music Player";

std::string_view rawValue(MusicPlayer player);
// Exact, case-sensitive match against the raw values.
std::optional<MusicPlayer> musicPlayerFromRawValue(std::string_view raw);

std::string_view displayName(MusicPlayer player);
// "Music Player" when there is no player.
std::string_view displayName(std::optional<MusicPlayer> player);
// Name of the icon shown beside the player in the settings window.
std::string_view symbolName(MusicPlayer player);

// Web players are known only from browser reports, never from running processes.
bool isWebPlayer(MusicPlayer player);
// Native players whose state can be queried directly (Apple Music, Spotify).
bool isScriptable(MusicPlayer player);

// Identifies a native player from a running application's identifier and name. Identifier
// equalities (after lower-casing) win over name tests; name substring tests win over name
// equalities. Never returns a web player.
std::optional<MusicPlayer> resolveMusicPlayer(std::optional<std::string_view> bundleIdentifier,
                                              std::optional<std::string_view> localizedName);

// Maps the `source` word of a browser playback report to a web player (exact match).
std::optional<MusicPlayer> browserPlayer(std::string_view source);

}  // namespace sonavista
